// Calls from CE code into the platform: CE code keeps its stack 4-aligned, armhf code needs 8.
#include "system_libraries.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// Calls fn with twelve arguments from an, as CE code may, with sp = 4 (mod 8) at the call.
extern "C" uint32_t callWithFourAlignedStack(FARPROC fn, const uint32_t *args);
asm(R"(
    .text
    .arm
    .p2align 2
    .type callWithFourAlignedStack, %function
callWithFourAlignedStack:
    push {r4, r5, r6, lr}
    mov r4, sp
    bic sp, sp, #7
    sub sp, sp, #36          @ eight stack arguments, and 4 more: 4 (mod 8)
    mov r5, r0
    mov r6, #0
1:  add r2, r1, #16
    ldr r3, [r2, r6]
    str r3, [sp, r6]
    add r6, r6, #4
    cmp r6, #32
    blt 1b
    ldm r1, {r0, r1, r2, r3}
    blx r5
    mov sp, r4
    pop {r4, r5, r6, pc}
    .size callWithFourAlignedStack, .-callWithFourAlignedStack
)");

uint32_t stackMisalignment = 99;

// What the platform's code assumes at each call: the stack aligned to 8.
uint32_t twelveArguments(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t e, uint32_t f, uint32_t g,
                         uint32_t h, uint32_t i, uint32_t j, uint32_t k, uint32_t l)
{
    uint32_t sp;
    asm volatile("mov %0, sp" : "=r"(sp));
    stackMisalignment = sp % 8;
    uint32_t all[] = {a, b, c, d, e, f, g, h, i, j, k, l};
    uint32_t hash = 0;
    for (uint32_t v : all) hash = hash * 31 + v;
    return hash;
}

FARPROC procOf(void *function)
{
    return reinterpret_cast<FARPROC>(function);
}

TEST(CallingBoundary, AThunkRealignsTheStackAndPassesEveryArgument)
{
    const uint32_t args[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0xDEADBEEF};
    uint32_t expected = 0;
    for (uint32_t v : args) expected = expected * 31 + v;
    FARPROC target = procOf(reinterpret_cast<void *>(&twelveArguments));

    // Without the thunk the callee sees the misaligned stack: the test can see the fault.
    EXPECT_EQ(callWithFourAlignedStack(target, args), expected);
    EXPECT_EQ(stackMisalignment, 4u);

    FARPROC thunk = internal::entryThunk(target);
    ASSERT_NE(thunk, target);
    EXPECT_EQ(internal::entryThunk(target), thunk) << "one thunk a call";
    stackMisalignment = 99;
    EXPECT_EQ(callWithFourAlignedStack(thunk, args), expected);
    EXPECT_EQ(stackMisalignment, 0u);
}

TEST(CallingBoundary, SoftFloatHelpersTakeDoublesInCoreRegisters)
{
    // __muld(2.5, 4.0) = 10.0 and __dtoi(-7.9) = -7, called as CE code calls them.
    using Binary = uint64_t (*)(uint32_t, uint32_t, uint32_t, uint32_t);
    using ToInt = int (*)(uint32_t, uint32_t);
    auto bits = [](double d) {
        uint64_t u;
        __builtin_memcpy(&u, &d, 8);
        return u;
    };
    auto muld = reinterpret_cast<Binary>(
        reinterpret_cast<void (*)()>(internal::systemCall("COREDLL.dll", "__muld")));
    auto dtoi = reinterpret_cast<ToInt>(
        reinterpret_cast<void (*)()>(internal::systemCall("coredll.dll", "__dtoi")));
    ASSERT_TRUE(muld && dtoi);
    uint64_t a = bits(2.5), b = bits(4.0);
    EXPECT_EQ(muld(uint32_t(a), uint32_t(a >> 32), uint32_t(b), uint32_t(b >> 32)), bits(10.0));
    uint64_t c = bits(-7.9);
    EXPECT_EQ(dtoi(uint32_t(c), uint32_t(c >> 32)), -7);
}

}   // namespace
