// Question and figure tables as the host and the package keep them, made with our engine in a
// file system of the test's choosing, and read back for assertions.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "paradox/file.h"
#include "paradox/table.h"

namespace pq::testing {

// Codigo (+, key), NumeroReal (I), Enunciado (M), Alternativa (A255), Resposta (A1),
// Nivel (S), Figura (A30).
inline paradox::Schema QuestionSchema() {
    using paradox::FieldType;
    paradox::Schema s;
    s.fields = {{"Codigo", FieldType::kAutoInc, 4},  {"NumeroReal", FieldType::kLong, 4},
                {"Enunciado", FieldType::kMemo, 30}, {"Alternativa", FieldType::kAlpha, 255},
                {"Resposta", FieldType::kAlpha, 1},  {"Nivel", FieldType::kShort, 2},
                {"Figura", FieldType::kAlpha, 30}};
    s.keyFieldCount = 1;
    s.blockSize = 4096;
    return s;
}

// Nome (A40, key), Figura (G).
inline paradox::Schema FigureSchema() {
    using paradox::FieldType;
    paradox::Schema s;
    s.fields = {{"Nome", FieldType::kAlpha, 40}, {"Figura", FieldType::kGraphic, 10}};
    s.keyFieldCount = 1;
    s.blockSize = 4096;
    return s;
}

struct Question {
    int numeroReal;
    std::string enunciado;  // empty: null
    std::string alternativa;
    std::string resposta;
    int nivel;
};

inline void AddQuestions(paradox::Table& t, const std::vector<Question>& qs) {
    using paradox::Value;
    for (const auto& q : qs) {
        t.Append();
        t.Set(1, Value::Integer(q.numeroReal));
        if (!q.enunciado.empty()) t.Set(2, Value::Text(q.enunciado));
        if (!q.alternativa.empty()) t.Set(3, Value::Text(q.alternativa));
        if (!q.resposta.empty()) t.Set(4, Value::Text(q.resposta));
        t.Set(5, Value::Integer(q.nivel));
        t.Post();
    }
}

inline void MakeQuestionTable(paradox::FileSystem& fs, const std::string& path,
                              const std::vector<Question>& qs) {
    auto t = paradox::Table::Create(fs, path, QuestionSchema());
    AddQuestions(*t, qs);
}

inline void MakeFigureTable(paradox::FileSystem& fs, const std::string& path,
                            const std::vector<std::pair<std::string, std::string>>& figures) {
    using paradox::Value;
    auto t = paradox::Table::Create(fs, path, FigureSchema());
    for (const auto& [nome, picture] : figures) {
        t->Append();
        t->Set(0, Value::Text(nome));
        t->Set(1, Value::Bytes(std::vector<uint8_t>(picture.begin(), picture.end())));
        t->Post();
    }
}

// Every record, each field as the engine's debug text, in table order.
inline std::vector<std::vector<std::string>> ReadAll(paradox::FileSystem& fs,
                                                     const std::string& path) {
    auto t = paradox::Table::Open(fs, path, {true, {}});
    std::vector<std::vector<std::string>> rows;
    for (t->First(); !t->AtEnd(); t->Next()) {
        std::vector<std::string> row;
        for (size_t i = 0; i < t->schema().fields.size(); ++i)
            row.push_back(t->Get(i).DebugString());
        rows.push_back(row);
    }
    return rows;
}

}  // namespace pq::testing
