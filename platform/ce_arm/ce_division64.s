@ The 64-bit division helpers the compiler calls: quotient in r0:r1, remainder in r2:r3, a
@ result no C function can return, so these wrap ceDivideUnsigned64/ceDivideSigned64
@ (ce_runtime.cpp), which pass the remainder back through a pointer. The dividend arrives in
@ r0:r1 and the divisor in r2:r3, where the wrapped calls take them too; the pointer is the
@ fifth word, on the stack. ARMv4: the return loads pc (no bx).
	.text
	.syntax unified
	.code	32

@ NAME calls DIVIDE with room for the remainder below the stack pointer, then loads it.
	.macro	divmod64 name, divide
	.globl	\name
	.p2align	2
\name:
	str	lr, [sp, #-4]!
	sub	sp, sp, #12		@ [sp] the pointer argument, [sp+4..11] the remainder
	add	r12, sp, #4
	str	r12, [sp]
	bl	\divide
	ldr	r2, [sp, #4]
	ldr	r3, [sp, #8]
	add	sp, sp, #12
	ldr	pc, [sp], #4
	.endm

	divmod64	__aeabi_uldivmod, ceDivideUnsigned64
	divmod64	__aeabi_ldivmod, ceDivideSigned64
