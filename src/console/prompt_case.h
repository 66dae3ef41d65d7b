// Whether the prompt lowercases whole lines. On Windows it does, as file
// names there ignore case; elsewhere the values that name files and devices
// keep their case. A serial number typed at such a prompt lost its case, so
// the command's device selection then compares serials without regard to
// case.
#ifndef QUORVEL_CONSOLE_PROMPT_CASE_H_
#define QUORVEL_CONSOLE_PROMPT_CASE_H_

enum class PromptCase { kValuesKeepCase, kWholeLineLowered };

#ifdef _WIN32
inline constexpr PromptCase kPromptCase = PromptCase::kWholeLineLowered;
#else
inline constexpr PromptCase kPromptCase = PromptCase::kValuesKeepCase;
#endif

#endif  // QUORVEL_CONSOLE_PROMPT_CASE_H_
