#include "bench/merge/workload.h"

#include <algorithm>
#include <cstdio>
#include <numeric>
#include <stdexcept>

#include "base/text.h"

namespace pq::bench {
namespace {

// Words of exam questions, accents included, so that text takes the code page conversion.
constexpr std::string_view kWords[] = {
    "questão",     "função",     "área",       "número",    "está",      "três",      "análise",
    "médio",       "gráfico",    "é",          "você",      "ciência",   "química",   "física",
    "biologia",    "célula",     "equação",    "razão",     "proporção", "triângulo", "ângulo",
    "hipótese",    "conclusão",  "período",    "história",  "geografia", "língua",    "português",
    "exercício",   "velocidade", "aceleração", "energia",   "potência",  "mínimo",    "máximo",
    "distância",   "espaço",     "tempo",      "sólido",    "líquido",   "pressão",   "reação",
    "ácido",       "básico",     "substância", "molécula",  "átomo",     "elétron",   "órgão",
    "espécie",     "evolução",   "genética",   "população", "região",    "país",      "século",
    "revolução",   "econômico",  "político",   "social",    "crônica",   "poema",     "romance",
    "autor",       "texto",      "trecho",     "segundo",   "afirmação", "correta",   "incorreta",
    "alternativa", "considere",  "calcule",    "determine", "assinale",  "observe",   "indique",
    "valor",       "resultado",  "sistema",    "conjunto",  "múltiplo",  "divisão",   "fração",
    "porcentagem", "média",      "gráficos",   "tabela",    "figura",    "abaixo",    "acima",
    "então",       "também",     "porém",      "não",       "são",       "estão",     "há",
    "de",          "da",         "do",         "em",        "que",       "o",         "a",
    "os",          "as",         "um",         "uma",       "com",       "para",      "por",
};
constexpr size_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);

uint64_t Mix(uint64_t a, uint64_t b) {
    Rng r(a * 0x9E3779B97F4A7C15ull ^ (b + 0x632BE59BD9B4E5ull));
    return r.Next();
}

// Words until about `chars` characters (never more than `limit`), the first capitalised.
std::string Sentence(Rng& rng, size_t chars, size_t limit) {
    std::string out;
    size_t count = 0;
    bool capital = true;
    while (count < chars) {
        std::string w(kWords[rng.Below(kWordCount)]);
        if (capital && w[0] >= 'a' && w[0] <= 'z') w[0] = static_cast<char>(w[0] - 32);
        capital = false;
        const size_t wc = text::CodePointCount(w) + (out.empty() ? 0 : 1);
        if (count + wc + 1 > limit) break;  // room for the final mark
        if (!out.empty()) out += ' ';
        out += w;
        count += wc;
        if (rng.Below(12) == 0 && count + 1 < chars) {
            out += rng.Below(3) == 0 ? ';' : ',';
            ++count;
        }
    }
    out += rng.Below(4) == 0 ? '?' : '.';
    return out;
}

std::string Numbered(const char* prefix, uint32_t number) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%s %07u.bmp", prefix, static_cast<unsigned>(number));
    return buf;
}

void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

const char* KindName(Kind kind) {
    return kind == Kind::kQuestions ? "questions" : "figures";
}

Kind KindFromName(std::string_view name) {
    if (name == "questions") return Kind::kQuestions;
    if (name == "figures") return Kind::kFigures;
    throw std::invalid_argument("unknown kind '" + std::string(name) + "' (questions or figures)");
}

uint64_t Rng::Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint32_t Rng::Below(uint32_t bound) {
    return static_cast<uint32_t>((Next() >> 32) * bound >> 32);
}

int Rng::Between(int lo, int hi) {
    return lo + static_cast<int>(Below(static_cast<uint32_t>(hi - lo + 1)));
}

int32_t HostNumeroReal(uint32_t i) {
    return static_cast<int32_t>(100000 + 2 * i);
}
int32_t NewNumeroReal(uint32_t i) {
    return HostNumeroReal(i) + 1;
}
std::string HostFigureName(uint32_t i) {
    return Numbered("Gráfico", 2 * i);
}
std::string NewFigureName(uint32_t i) {
    return Numbered("Gráfico", 2 * i + 1);
}

QuestionRecord MakeQuestion(int32_t numeroReal, Version version) {
    Rng rng(Mix(static_cast<uint64_t>(numeroReal), static_cast<uint64_t>(version) + 1));
    QuestionRecord q;
    q.numeroReal = numeroReal;
    q.enunciado = Sentence(rng, static_cast<size_t>(rng.Between(900, 1100)), 2000);
    for (auto& a : q.alternativas)
        a = Sentence(rng, static_cast<size_t>(rng.Between(20, 254)), 255);
    q.resposta = std::string(1, static_cast<char>('A' + rng.Below(5)));
    q.nivel = rng.Between(1, 5);
    if (rng.Below(4) == 0) q.figura = Numbered("Gráfico", rng.Below(1000000));
    return q;
}

FigureRecord MakeFigure(const std::string& nome, Version version) {
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : nome) h = (h ^ c) * 1099511628211ull;
    Rng rng(Mix(h, static_cast<uint64_t>(version) + 7));
    FigureRecord f;
    f.nome = nome;
    // A 256-colour bitmap: file header, info header, palette, then rows of pixels.
    const uint32_t width = 160 + 4 * rng.Below(16);
    const uint32_t height = static_cast<uint32_t>(rng.Between(26000, 34000)) / width;
    const uint32_t pixels = 54 + 1024;
    const uint32_t size = pixels + width * height;
    f.figura.assign(size, 0);
    auto& b = f.figura;
    b[0] = 'B';
    b[1] = 'M';
    PutU32(b, 2, size);
    PutU32(b, 10, pixels);
    PutU32(b, 14, 40);
    PutU32(b, 18, width);
    PutU32(b, 22, height);
    b[26] = 1;  // planes
    b[28] = 8;  // bits per pixel
    PutU32(b, 34, width * height);
    PutU32(b, 46, 256);
    for (uint32_t i = 0; i < 256; ++i) PutU32(b, 54 + 4 * i, static_cast<uint32_t>(rng.Next()));
    // Runs of a colour with noise: what scanned drawings look like to a compressor.
    uint8_t colour = 0;
    for (uint32_t at = pixels; at < size;) {
        const uint64_t r = rng.Next();
        if ((r & 7) == 0) colour = static_cast<uint8_t>(r >> 8);
        const uint32_t run = std::min<uint32_t>(1 + ((r >> 16) & 15), size - at);
        for (uint32_t k = 0; k < run; ++k)
            b[at++] = static_cast<uint8_t>(colour ^ ((r >> (24 + k)) & 3));
    }
    return f;
}

std::vector<PackageEntry> PackagePlan(Kind kind, uint32_t n, uint32_t m) {
    if (m > n) throw std::invalid_argument("a package larger than its host");
    Rng rng(Mix(static_cast<uint64_t>(kind) + 11, (uint64_t{n} << 32) | m));
    // Distinct host indexes for the updates and, separately, for the new keys after them.
    auto pick = [&](uint32_t count) {
        std::vector<uint32_t> all(n);
        std::iota(all.begin(), all.end(), 0u);
        for (uint32_t i = 0; i < count; ++i) std::swap(all[i], all[i + rng.Below(n - i)]);
        all.resize(count);
        return all;
    };
    const uint32_t updates = m / 2;
    std::vector<PackageEntry> plan;
    plan.reserve(m);
    for (uint32_t i : pick(updates)) plan.push_back({i, true});
    for (uint32_t i : pick(m - updates)) plan.push_back({i, false});
    for (uint32_t i = m; i > 1; --i) std::swap(plan[i - 1], plan[rng.Below(i)]);
    return plan;
}

QuestionRecord PackageQuestion(const PackageEntry& e) {
    return MakeQuestion(e.existing ? HostNumeroReal(e.hostIndex) : NewNumeroReal(e.hostIndex),
                        Version::kPackage);
}

FigureRecord PackageFigure(const PackageEntry& e) {
    return MakeFigure(e.existing ? HostFigureName(e.hostIndex) : NewFigureName(e.hostIndex),
                      Version::kPackage);
}

uint32_t MergedRecordCount(uint32_t n, uint32_t m) {
    return n + (m - m / 2);
}

}  // namespace pq::bench
