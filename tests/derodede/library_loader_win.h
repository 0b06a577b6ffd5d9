// Loads one build of DERodede.dll by its path and finds its exports by name, as the program's
// import does.
#pragma once

#include <windows.h>

#include <stdexcept>
#include <string>

#include "derodede/derodede.h"
#include "derodede/short_text.h"
#include "tests/app/win_test_support.h"

namespace pq::derodede::testing {

using ExceptionMessageFn = void(DERODEDE_CALL*)(const unsigned char*, const unsigned char*,
                                                const unsigned char*, const unsigned char*,
                                                const unsigned char*, const unsigned char*,
                                                const unsigned char*, const unsigned char*);
using DatabaseErrorMessageFn = uint8_t(DERODEDE_CALL*)(const unsigned char*);

struct Library {
    explicit Library(const std::string& relativePath) {
        const std::string path = pq::testing::BinaryDir() + "\\" + relativePath;
        module = LoadLibraryW(pq::testing::Wide(path).c_str());
        if (!module) throw std::runtime_error("cannot load " + path);
        exceptionMessage = Find<ExceptionMessageFn>("ExceptionMessage");
        databaseErrorMessage = Find<DatabaseErrorMessageFn>("DatabaseErrorMessage");
        setLastDatabaseError = Find<SetLastDatabaseErrorFn>(kSetLastDatabaseErrorExport);
    }
    ~Library() { FreeLibrary(module); }

    void Report(const std::array<std::string, 8>& texts) {
        std::array<ShortText, 8> s;
        for (size_t i = 0; i < 8; ++i) s[i] = ShortText::FromUtf8(texts[i]);
        exceptionMessage(s[0].Data(), s[1].Data(), s[2].Data(), s[3].Data(), s[4].Data(),
                         s[5].Data(), s[6].Data(), s[7].Data());
    }
    uint8_t Ask(const std::string& title) {
        return databaseErrorMessage(ShortText::FromUtf8(title).Data());
    }
    void SetLastError(const std::string& text) {
        setLastDatabaseError(ShortText::FromUtf8(text).Data());
    }

    template <class Fn>
    Fn Find(const char* name) {
        auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
        if (!fn) throw std::runtime_error(std::string("no export ") + name);
        return fn;
    }

    HMODULE module = nullptr;
    ExceptionMessageFn exceptionMessage = nullptr;
    DatabaseErrorMessageFn databaseErrorMessage = nullptr;
    SetLastDatabaseErrorFn setLastDatabaseError = nullptr;
};

}  // namespace pq::derodede::testing
