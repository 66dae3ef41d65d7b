// Text in another code page, as a terminal set to it would send it.
#ifndef QUORVEL_TESTS_SUPPORT_CODE_PAGE_H_
#define QUORVEL_TESTS_SUPPORT_CODE_PAGE_H_

#include <string>

namespace e2e {

// UTF-8 text in GBK (code page 936), converted with iconv; on failure a
// text in angle brackets that says why.
std::string ToGbk(const std::string& utf8);

}  // namespace e2e

#endif  // QUORVEL_TESTS_SUPPORT_CODE_PAGE_H_
