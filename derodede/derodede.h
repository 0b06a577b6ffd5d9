// DERodede.dll, the error-report library: the program hands it every failure that escapes an
// event handler (ExceptionMessage) and asks it how a failed table operation goes on
// (DatabaseErrorMessage). Every text is a short text (derodede/short_text.h) passed by
// reference. The two functions are imported at load time: the program does not start without
// the library.
//
// DERodedeSetLastDatabaseError is optional (callers look it up with GetProcAddress): it hands
// the library the text of the table error that the next DatabaseErrorMessage call is about, so
// that the dialog can show it. The text is used by that one call only.
//
// Two builds export the same functions: the real library (bin/DERodede.dll: dialogs and a
// report file under %LOCALAPPDATA%\DERodede) and a scripted one for tests
// (bin/scripted/DERodede.dll, see derodede/scripted_log.h).
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define DERODEDE_CALL __stdcall
#else
#define DERODEDE_CALL
#endif

extern "C" {

// The eight texts of a report, in order: program, product, (empty), registered user,
// (empty), class of the failing object, class of the exception, message.
void DERODEDE_CALL ExceptionMessage(const unsigned char* program, const unsigned char* product,
                                    const unsigned char* extra1, const unsigned char* registeredTo,
                                    const unsigned char* extra2, const unsigned char* senderClass,
                                    const unsigned char* exceptionClass,
                                    const unsigned char* message);

// `title`: the application title. Returns the data action: 0 fail, 1 abort, 2 retry.
uint8_t DERODEDE_CALL DatabaseErrorMessage(const unsigned char* title);

// Optional export (see above).
void DERODEDE_CALL DERodedeSetLastDatabaseError(const unsigned char* errorText);
}

namespace pq::derodede {
// Data actions answered by DatabaseErrorMessage.
inline constexpr uint8_t kActFail = 0;
inline constexpr uint8_t kActAbort = 1;
inline constexpr uint8_t kActRetry = 2;
inline constexpr const char* kSetLastDatabaseErrorExport = "DERodedeSetLastDatabaseError";
using SetLastDatabaseErrorFn = void(DERODEDE_CALL*)(const unsigned char*);
}  // namespace pq::derodede
