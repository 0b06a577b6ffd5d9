#include "tools/demodata/question_bank.h"

#include "paradox/table.h"

namespace pq::demodata {
namespace {

using paradox::FieldType;
using paradox::Value;

struct Template {
    const char* statement;  // %d is replaced by the question's number
    const char* choices[5];
    int answer;  // 0..4
};

// A few questions per subject; the number of the question varies them.
const std::vector<std::vector<Template>>& Templates() {
    static const std::vector<std::vector<Template>> t = {
        {{"Qual organela é responsável pela respiração celular? (questão %d)",
          {"Mitocôndria", "Ribossomo", "Lisossomo", "Complexo de Golgi", "Centríolo"},
          0},
         {"Em que fase da mitose os cromossomos se alinham no equador da célula? (%d)",
          {"Prófase", "Metáfase", "Anáfase", "Telófase", "Intérfase"},
          1},
         {"Qual é a função principal das hemácias? (%d)",
          {"Defesa do organismo", "Coagulação", "Transporte de oxigênio", "Produção de hormônios",
           "Digestão"},
          2}},
        {{"Um corpo de massa %d kg sofre uma força resultante de 20 N. Qual a sua aceleração?",
          {"20 m/s² dividido pela massa", "A massa vezes 20", "Zero", "9,8 m/s²", "Indefinida"},
          0},
         {"Qual é a unidade de potência no Sistema Internacional? (%d)",
          {"Joule", "Newton", "Watt", "Pascal", "Coulomb"},
          2},
         {"A velocidade da luz no vácuo é de aproximadamente: (%d)",
          {"300 km/s", "300.000 km/s", "3.000 km/h", "30 m/s", "340 m/s"},
          1}},
        {{"Qual é o maior bioma brasileiro em área? (%d)",
          {"Cerrado", "Caatinga", "Pampa", "Amazônia", "Pantanal"},
          3},
         {"O fuso horário de Brasília está quantas horas atrás de Greenwich? (%d)",
          {"Uma", "Duas", "Três", "Quatro", "Cinco"},
          2},
         {"Qual rio atravessa o sertão nordestino e é chamado de rio da integração nacional? (%d)",
          {"Rio Amazonas", "Rio São Francisco", "Rio Paraná", "Rio Tietê", "Rio Negro"},
          1}},
        {{"Em que ano foi proclamada a Independência do Brasil? (%d)",
          {"1500", "1822", "1889", "1888", "1930"},
          1},
         {"Qual foi a principal atividade econômica do Brasil colonial no século XVI? (%d)",
          {"Mineração", "Café", "Cana-de-açúcar", "Borracha", "Algodão"},
          2},
         {"A Revolução Francesa começou em: (%d)", {"1789", "1492", "1917", "1815", "1648"}, 0}},
        {{"Choose the correct past tense of \"to go\": (%d)",
          {"goed", "went", "gone", "going", "goes"},
          1},
         {"Qual é a tradução de \"library\"? (%d)",
          {"Livraria", "Biblioteca", "Livreiro", "Liberdade", "Laboratório"},
          1},
         {"Complete: She ___ a teacher. (%d)", {"am", "are", "is", "be", "been"}, 2}},
        {{"Quanto é %d + %d?", {"", "", "", "", ""}, 0},
         {"Qual é a área de um quadrado de lado %d cm?", {"", "", "", "", ""}, 0},
         {"Quanto vale a raiz quadrada de %d ao quadrado?", {"", "", "", "", ""}, 0}},
        {{"Assinale a alternativa em que a palavra é acentuada corretamente: (%d)",
          {"juíz", "ítem", "saúde", "hífens", "rúim"},
          2},
         {"Na frase \"Os alunos estudaram muito\", o sujeito é: (%d)",
          {"Oculto", "Simples", "Composto", "Indeterminado", "Inexistente"},
          1},
         {"Qual é o plural de \"cidadão\"? (%d)",
          {"Cidadões", "Cidadãos", "Cidadães", "Cidadans", "Cidadãoes"},
          1}},
        {{"Qual é o símbolo químico do sódio? (%d)", {"S", "So", "Na", "Sd", "N"}, 2},
         {"O pH de uma solução neutra a 25 °C é: (%d)", {"0", "1", "7", "14", "10"}, 2},
         {"Quantos elétrons cabem no primeiro nível de energia? (%d)",
          {"Um", "Dois", "Oito", "Dezoito", "Trinta e dois"},
          1}},
    };
    return t;
}

std::string Format(const char* pattern, int n) {
    std::string out;
    for (const char* p = pattern; *p; ++p) {
        if (p[0] == '%' && p[1] == 'd') {
            out += std::to_string(n);
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

const char* const kPrefixes[] = {"Bio", "Fis", "Geo", "His", "Ing", "Mat", "Por", "Qui"};

uint32_t Mix(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352d;
    x ^= x >> 15;
    x *= 0x846ca68b;
    x ^= x >> 16;
    return x;
}

void PutLe(std::vector<uint8_t>& b, size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

paradox::Schema QuestionSchema() {
    paradox::Schema s;
    s.fields = {{"Codigo", FieldType::kAutoInc, 4},       {"NumeroReal", FieldType::kLong, 4},
                {"Enunciado", FieldType::kMemo, 40},      {"AlternativaA", FieldType::kAlpha, 255},
                {"AlternativaB", FieldType::kAlpha, 255}, {"AlternativaC", FieldType::kAlpha, 255},
                {"AlternativaD", FieldType::kAlpha, 255}, {"AlternativaE", FieldType::kAlpha, 255},
                {"Resposta", FieldType::kAlpha, 1},       {"Nivel", FieldType::kShort, 2},
                {"Figura", FieldType::kAlpha, 30}};
    s.keyFieldCount = 1;
    s.blockSize = 4096;
    return s;
}

paradox::Schema FigureSchema() {
    paradox::Schema s;
    s.fields = {{"Nome", FieldType::kAlpha, 40},
                {"Descricao", FieldType::kAlpha, 80},
                {"Figura", FieldType::kGraphic, 10}};
    s.keyFieldCount = 1;
    s.blockSize = 4096;
    return s;
}

QuestionRecord MakeQuestion(unsigned subject, int32_t n, int edition) {
    const auto& list = Templates()[subject % 8];
    const Template& t = list[static_cast<size_t>(n) % list.size()];
    QuestionRecord q;
    q.numeroReal = n;
    q.nivel = static_cast<int16_t>(1 + n % 3);
    if (subject == 5) {  // Matemática: the numbers make the question
        const int a = n % 97 + 1, b = n % 13 + 2;
        const int kind = n % 3;
        int right = 0;
        if (kind == 0) {
            q.enunciado = "Quanto é " + std::to_string(a) + " + " + std::to_string(b) + "?";
            right = a + b;
        } else if (kind == 1) {
            q.enunciado = "Qual é a área de um quadrado de lado " + std::to_string(b) + " cm?";
            right = b * b;
        } else {
            q.enunciado = "Quanto vale a raiz quadrada de " + std::to_string(a) + " ao quadrado?";
            right = a;
        }
        const int pos = n % 5;
        for (int k = 0; k < 5; ++k) q.alternativas[k] = std::to_string(right + (k - pos) * 3);
        q.resposta = std::string(1, static_cast<char>('A' + pos));
    } else {
        q.enunciado = Format(t.statement, n);
        for (int k = 0; k < 5; ++k) q.alternativas[k] = t.choices[k];
        q.resposta = std::string(1, static_cast<char>('A' + t.answer));
    }
    if (edition > 0) q.enunciado += " (revisada na edição " + std::to_string(edition) + ")";
    if (n % 7 == 0) q.figura = std::string(kPrefixes[subject % 8]) + std::to_string(n / 7);
    return q;
}

std::vector<uint8_t> MakeBmp(int width, int height, uint32_t seed) {
    const int stride = (width * 3 + 3) & ~3;
    std::vector<uint8_t> b(54 + static_cast<size_t>(stride) * height, 0);
    b[0] = 'B', b[1] = 'M';
    PutLe(b, 2, static_cast<uint32_t>(b.size()), 4);
    PutLe(b, 10, 54, 4);
    PutLe(b, 14, 40, 4);
    PutLe(b, 18, static_cast<uint32_t>(width), 4);
    PutLe(b, 22, static_cast<uint32_t>(height), 4);
    PutLe(b, 26, 1, 2);
    PutLe(b, 28, 24, 2);
    PutLe(b, 34, static_cast<uint32_t>(stride * height), 4);
    const uint32_t h = Mix(seed);
    const int cx = static_cast<int>(h % static_cast<uint32_t>(width));
    const int cy = static_cast<int>((h >> 8) % static_cast<uint32_t>(height));
    const int r = 4 + static_cast<int>((h >> 16) % static_cast<uint32_t>(width / 2 + 1));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &b[54 + static_cast<size_t>(y) * stride + x * 3];
            const bool inside = (x - cx) * (x - cx) + (y - cy) * (y - cy) < r * r;
            p[0] = inside ? static_cast<uint8_t>(h) : 240;
            p[1] = inside ? static_cast<uint8_t>(h >> 8) : static_cast<uint8_t>(200 + y % 40);
            p[2] = inside ? static_cast<uint8_t>(h >> 24) : static_cast<uint8_t>(180 + x % 60);
        }
    }
    return b;
}

FigureRecord MakeFigure(unsigned subject, int number, int edition, size_t bytes) {
    FigureRecord f;
    f.nome = std::string(kPrefixes[subject % 8]) + std::to_string(number);
    f.descricao = "Figura " + std::to_string(number) + " de " + kPrefixes[subject % 8] +
                  (edition > 0 ? " (edição " + std::to_string(edition) + ")" : "");
    int side = 8;
    while (static_cast<size_t>(side) * side * 3 + 54 < bytes) side += 4;
    f.picture = MakeBmp(
        side, side,
        subject * 100000u + static_cast<uint32_t>(number) * 10u + static_cast<uint32_t>(edition));
    return f;
}

void WriteQuestionTable(paradox::FileSystem& fs, const std::string& path,
                        const std::vector<QuestionRecord>& records) {
    auto t = paradox::Table::Create(fs, path, QuestionSchema());
    for (const auto& q : records) {
        t->Append();
        t->Set(1, Value::Integer(q.numeroReal));
        t->Set(2, Value::Text(q.enunciado));
        for (int k = 0; k < 5; ++k) t->Set(3 + k, Value::Text(q.alternativas[k]));
        t->Set(8, Value::Text(q.resposta));
        t->Set(9, Value::Integer(q.nivel));
        if (!q.figura.empty()) t->Set(10, Value::Text(q.figura));
        t->Post();
    }
}

void WriteFigureTable(paradox::FileSystem& fs, const std::string& path,
                      const std::vector<FigureRecord>& records) {
    auto t = paradox::Table::Create(fs, path, FigureSchema());
    for (const auto& f : records) {
        t->Append();
        t->Set(0, Value::Text(f.nome));
        t->Set(1, Value::Text(f.descricao));
        t->Set(2, Value::Bytes(f.picture));
        t->Post();
    }
}

std::vector<int32_t> PackageNumbers(int hostCount, int count, double overlap) {
    std::vector<int32_t> out;
    const int known = static_cast<int>(count * overlap);
    for (int k = 0; k < known && hostCount > 0; ++k)
        out.push_back(1 + static_cast<int32_t>((static_cast<int64_t>(k) * 7919) % hostCount));
    for (int k = known; k < count; ++k) out.push_back(hostCount + 1 + (k - known));
    return out;
}

}  // namespace pq::demodata
