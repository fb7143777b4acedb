@ The 64-bit division helpers the compiler calls: quotient in r0:r1, remainder in r2:r3, a
@ result no C function can return, so these wrap ceDivideUnsigned64/ceDivideSigned64
@ (ce_runtime.cpp), which pass the remainder back through a pointer. The dividend arrives in
@ r0:r1 and the divisor in r2:r3, where the wrapped calls take them too; the pointer is the
@ fifth word, on the stack. ARMv4: the return loads pc (no bx).
	.text
	.syntax unified
	.code	32

	.globl	__aeabi_uldivmod
	.p2align	2
__aeabi_uldivmod:
	str	lr, [sp, #-4]!
	sub	sp, sp, #12		@ [sp] the pointer argument, [sp+4..11] the remainder
	add	r12, sp, #4
	str	r12, [sp]
	bl	ceDivideUnsigned64
	ldr	r2, [sp, #4]
	ldr	r3, [sp, #8]
	add	sp, sp, #12
	ldr	pc, [sp], #4

	.globl	__aeabi_ldivmod
	.p2align	2
__aeabi_ldivmod:
	str	lr, [sp, #-4]!
	sub	sp, sp, #12
	add	r12, sp, #4
	str	r12, [sp]
	bl	ceDivideSigned64
	ldr	r2, [sp, #4]
	ldr	r3, [sp, #8]
	add	sp, sp, #12
	ldr	pc, [sp], #4
