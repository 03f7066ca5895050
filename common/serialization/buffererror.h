#pragma once
// The one exception the payload encoder and decoder throw. It carries a fixed
// text with static storage; nothing else is kept.

#include <exception>

extern const char* const TXT_OUT_OF_BUFFER;     // raw bytes missing
extern const char* const TXT_OBJECT_NOT_VALID;  // a scalar or count missing

class CBufferError : public std::exception {
public:
    explicit CBufferError(const char* text) : m_szText(text) {}
    const char* what() const noexcept override { return m_szText; }

private:
    const char* m_szText;
};
