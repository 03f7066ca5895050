#pragma once
// Runs i686 machine code directly on the processor, to compare with the
// interpreter. Possible only when this test is itself a 32-bit x86 Windows
// program (the Wine run); elsewhere Available() is false.

#include <cstddef>
#include <cstdint>

class CNativeRoutine {
public:
    static bool Available();

    // Copies the code to an executable page.
    CNativeRoutine(const unsigned char* code, size_t len);
    ~CNativeRoutine();

    // Calls routine(data, param); stdcall and cdecl routines both return here.
    void Call(unsigned char* data, uint32_t param) const;

private:
    CNativeRoutine(const CNativeRoutine&) = delete;
    CNativeRoutine& operator=(const CNativeRoutine&) = delete;

    void* m_pPage;
};
