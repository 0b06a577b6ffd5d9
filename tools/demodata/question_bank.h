// Question and figure tables for a demonstration host and package, and for the end-to-end
// tests: the layouts the host keeps (a question table keyed on an auto-increment code, with
// "NumeroReal"; a figure table keyed on "Nome" with a picture), filled with Portuguese
// questions of each subject and small generated pictures. Portable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "paradox/file.h"
#include "paradox/schema.h"

namespace pq::demodata {

// Codigo (+, key), NumeroReal (I), Enunciado (M), AlternativaA..E (A255), Resposta (A1),
// Nivel (S), Figura (A30).
paradox::Schema QuestionSchema();
// Nome (A40, key), Descricao (A80), Figura (G).
paradox::Schema FigureSchema();

struct QuestionRecord {
    int32_t numeroReal = 0;
    std::string enunciado;
    std::string alternativas[5];
    std::string resposta;
    int16_t nivel = 1;
    std::string figura;  // empty: none
};

struct FigureRecord {
    std::string nome;
    std::string descricao;
    std::vector<uint8_t> picture;  // a BMP file
};

// The k-th question of a subject (catalogue index 0..7), with its number. The same (subject,
// number, edition) always gives the same record; a different edition changes the texts, as a
// package's revised question would.
QuestionRecord MakeQuestion(unsigned subject, int32_t numeroReal, int edition);
// A figure named "<prefix><number>" with a small BMP picture of about `bytes` bytes.
FigureRecord MakeFigure(unsigned subject, int number, int edition, size_t bytes);
// A 24-bit BMP file of the given size showing a simple drawing that depends on `seed`.
std::vector<uint8_t> MakeBmp(int width, int height, uint32_t seed);

void WriteQuestionTable(paradox::FileSystem& fs, const std::string& path,
                        const std::vector<QuestionRecord>& records);
void WriteFigureTable(paradox::FileSystem& fs, const std::string& path,
                      const std::vector<FigureRecord>& records);

// Numbers of the questions a package carries: `count` numbers of which about `overlap` (0..1)
// are among the host's 1..hostCount, the others new.
std::vector<int32_t> PackageNumbers(int hostCount, int count, double overlap);

}  // namespace pq::demodata
