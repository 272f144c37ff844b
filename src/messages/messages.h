// Where the messages beyond the program's own screens find their reader's
// language: the C library's catalogs on Linux, catalogs built in on Windows.
#pragma once

#include <string>

namespace console {

// `english` in the reader's language and the platform's own encoding (the
// locale's character set on Linux, UTF-8 on Windows); `english` itself for
// a reader of English or a language without a catalog.
const char* translate(const char* english);

#ifdef _WIN32
// What Windows says of its error `code`, in the user's own language and in
// UTF-8 ("There is not enough space on the disk"), or, where it says
// nothing, the number.
std::string windows_error_text(unsigned long code);
#endif

// Decides the reader's language once; the console does it at its start, so
// that the system's own reasons (strerror) come in that language too.
void choose_reader_language();

}  // namespace console
