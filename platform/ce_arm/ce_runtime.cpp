// What the device library needs beside COREDLL's exports: the string calls and LockResource,
// which Windows CE's own headers turn into macros (so COREDLL exports none of them), with
// Win32's semantics, and the integer division helpers the compiler calls, which COREDLL does
// not offer under the compiler's names. Built for the device only, through the same route as
// the plug-in: no division operator may appear here.
#include <windows.h>

extern "C" {

int WINAPI lstrlenW(LPCWSTR s)
{
    if (s == nullptr) {
        return 0;
    }
    int length = 0;
    while (s[length] != 0) {
        ++length;
    }
    return length;
}

LPWSTR WINAPI lstrcpyW(LPWSTR dst, LPCWSTR src)
{
    LPWSTR d = dst;
    while ((*d++ = *src++) != 0) { }
    return dst;
}

LPWSTR WINAPI lstrcatW(LPWSTR dst, LPCWSTR src)
{
    lstrcpyW(dst + lstrlenW(dst), src);
    return dst;
}

// At most maxLength - 1 units and always a terminator (unlike wcsncpy, which pads and may leave
// none); a maxLength of 0 writes nothing.
LPWSTR WINAPI lstrcpynW(LPWSTR dst, LPCWSTR src, int maxLength)
{
    LPWSTR d = dst;
    while (maxLength > 1 && *src != 0) {
        *d++ = *src++;
        --maxLength;
    }
    if (maxLength > 0) {
        *d = 0;
    }
    return dst;
}

// On the device a loaded resource is already its bytes.
LPVOID WINAPI LockResource(HGLOBAL resource)
{
    return resource;
}

// ---------------------------------------------------------------------------------------------
// Integer division. Restoring division, one quotient bit a step; a division by zero gives a
// quotient of 0 and leaves the dividend as the remainder, rather than trapping the Today screen.

static unsigned divideUnsigned32(unsigned n, unsigned d, unsigned *remainder)
{
    unsigned quotient = 0;
    unsigned rest = 0;
    if (d != 0) {
        for (int bit = 31; bit >= 0; --bit) {
            rest = (rest << 1) | ((n >> bit) & 1);
            if (rest >= d) {
                rest -= d;
                quotient |= 1u << bit;
            }
        }
    } else {
        rest = n;
    }
    *remainder = rest;
    return quotient;
}

unsigned long long ceDivideUnsigned64(unsigned long long n, unsigned long long d,
                                      unsigned long long *remainder)
{
    unsigned long long quotient = 0;
    unsigned long long rest = 0;
    if (d != 0) {
        for (int bit = 63; bit >= 0; --bit) {
            rest = (rest << 1) | ((n >> bit) & 1);
            if (rest >= d) {
                rest -= d;
                quotient |= 1ull << bit;
            }
        }
    } else {
        rest = n;
    }
    *remainder = rest;
    return quotient;
}

// Truncates toward zero; the remainder takes the dividend's sign, as C's operators do.
long long ceDivideSigned64(long long n, long long d, long long *remainder)
{
    const unsigned long long magnitudeN = n < 0 ? 0 - (unsigned long long)n : (unsigned long long)n;
    const unsigned long long magnitudeD = d < 0 ? 0 - (unsigned long long)d : (unsigned long long)d;
    unsigned long long rest;
    const unsigned long long quotient = ceDivideUnsigned64(magnitudeN, magnitudeD, &rest);
    *remainder = n < 0 ? (long long)(0 - rest) : (long long)rest;
    return (n < 0) != (d < 0) ? (long long)(0 - quotient) : (long long)quotient;
}

static int divideSigned32(int n, int d, int *remainder)
{
    const unsigned magnitudeN = n < 0 ? 0u - (unsigned)n : (unsigned)n;
    const unsigned magnitudeD = d < 0 ? 0u - (unsigned)d : (unsigned)d;
    unsigned rest;
    const unsigned quotient = divideUnsigned32(magnitudeN, magnitudeD, &rest);
    *remainder = n < 0 ? (int)(0u - rest) : (int)rest;
    return (n < 0) != (d < 0) ? (int)(0u - quotient) : (int)quotient;
}

unsigned __udivsi3(unsigned n, unsigned d)
{
    unsigned rest;
    return divideUnsigned32(n, d, &rest);
}

unsigned __umodsi3(unsigned n, unsigned d)
{
    unsigned rest;
    divideUnsigned32(n, d, &rest);
    return rest;
}

int __divsi3(int n, int d)
{
    int rest;
    return divideSigned32(n, d, &rest);
}

int __modsi3(int n, int d)
{
    int rest;
    divideSigned32(n, d, &rest);
    return rest;
}

unsigned __aeabi_uidiv(unsigned n, unsigned d)
{
    return __udivsi3(n, d);
}

int __aeabi_idiv(int n, int d)
{
    return __divsi3(n, d);
}

// The quotient in r0 and the remainder in r1: a 64-bit result is returned in exactly those.
unsigned long long __aeabi_uidivmod(unsigned n, unsigned d)
{
    unsigned rest;
    const unsigned quotient = divideUnsigned32(n, d, &rest);
    return (unsigned long long)rest << 32 | quotient;
}

unsigned long long __aeabi_idivmod(int n, int d)
{
    int rest;
    const int quotient = divideSigned32(n, d, &rest);
    return (unsigned long long)(unsigned)rest << 32 | (unsigned)quotient;
}

}   // extern "C"
