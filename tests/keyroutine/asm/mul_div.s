# mul and imul in every form and size (CF and OF compared; the other flags
# are undefined), div and idiv at every size on edge values from a table in
# the code and on input values made safe (no division error natively), and
# cbw/cwde/cwd/cdq.
        .include "routine.inc"

        .set MUL_FLAGS, 0x801

        .macro MUL_ONE op, offset
        mov eax, [esi+\offset]
        mov ebx, [esi+\offset+4]
        \op bl
        SAVE_FLAGS MUL_FLAGS
        SAVE eax
        mov eax, [esi+\offset]
        mov edx, ebx
        \op bx
        SAVE_FLAGS MUL_FLAGS
        SAVE eax
        SAVE edx
        mov eax, [esi+\offset]
        \op ebx
        SAVE_FLAGS MUL_FLAGS
        SAVE eax
        SAVE edx
        mov eax, [esi+\offset]
        \op dword ptr [esi+\offset+8]
        SAVE_FLAGS MUL_FLAGS
        SAVE eax
        SAVE edx
        .endm

        BEGIN_ROUTINE
        .irp offset, 0, 12, 24, 36
        MUL_ONE mul, \offset
        MUL_ONE imul, \offset
        mov eax, [esi+\offset]
        mov ebx, [esi+\offset+4]
        imul eax, ebx
        SAVE_FLAGS MUL_FLAGS
        SAVE eax
        imul bx, word ptr [esi+\offset+8]
        SAVE_FLAGS MUL_FLAGS
        SAVE ebx
        imul ecx, [esi+\offset], -7
        SAVE_FLAGS MUL_FLAGS
        SAVE ecx
        imul ecx, ebx, 0x12345
        SAVE_FLAGS MUL_FLAGS
        SAVE ecx
        imul cx, bx, 300
        SAVE_FLAGS MUL_FLAGS
        SAVE ecx
        imul dx, [esi+\offset+2], 0x7F
        SAVE_FLAGS MUL_FLAGS
        SAVE edx
        .endr
        # products that just fit and just do not
        mov eax, 0x10000
        mov ecx, 0xFFFF
        mul ecx
        SAVE_FLAGS MUL_FLAGS
        mov eax, 0x10000
        mul eax
        SAVE_FLAGS MUL_FLAGS
        SAVE edx
        mov eax, -0x8000
        mov ecx, 0x10000
        imul ecx
        SAVE_FLAGS MUL_FLAGS
        imul eax, eax, -1
        SAVE_FLAGS MUL_FLAGS
        mov al, -128
        mov cl, -1
        imul cl
        SAVE_FLAGS MUL_FLAGS
        SAVE eax

        # division edge values: EDX, EAX, divisor for 32 bits; DX:AX and
        # divisor for 16 bits; AX and divisor for 8 bits
        call div_end
        .long 0, 0xFFFFFFFF, 1
        .long 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFF
        .long 0, 7, 0xFFFFFFFF
        .long 1, 0, 2
        .long 0x7FFFFFFF, 0xFFFFFFFF, 0x80000000
div_end:
        pop ebp
        .irp k, 0, 12, 24, 36, 48
        mov edx, [ebp+\k]
        mov eax, [ebp+\k+4]
        div dword ptr [ebp+\k+8]
        SAVE eax
        SAVE edx
        .endr
        call idiv_end
        .long 0xFFFFFFFF, 0x80000000, 1
        .long 0xC0000000, 0x80000000, 0x80000000
        .long 0x40000000, 0, 0x80000000
        .long 0xFFFFFFFF, 0xFFFFFFF9, 2
        .long 0, 7, 0xFFFFFFFE
        .long 0xFFFFFFFF, 0xFFFFFFF9, 0xFFFFFFFE
idiv_end:
        pop ebp
        .irp k, 0, 12, 24, 36, 48, 60
        mov edx, [ebp+\k]
        mov eax, [ebp+\k+4]
        mov ecx, [ebp+\k+8]
        idiv ecx
        SAVE eax
        SAVE edx
        .endr
        call small_end
        .word 0xFFFF, 0x8000, 1, 0xC000, 0x8000, 0x8000, 0x0000, 0xFFFF, 0xFFFF
        .word 0xFF80, 0x0001, 0x007F, 0xFFFF, 0xFF00, 0x0002, 0xC080, 0x007F, 0x0000
small_end:
        pop ebp
        # 16 bits: idiv, idiv, div
        .irp k, 0, 6
        mov dx, [ebp+\k]
        mov ax, [ebp+\k+2]
        idiv word ptr [ebp+\k+4]
        SAVE eax
        SAVE edx
        .endr
        mov dx, [ebp+12]
        mov ax, [ebp+14]
        div word ptr [ebp+16]
        SAVE eax
        SAVE edx
        # 8 bits: idiv -128/1, 127/-1, -256/2, -16256/127, div 0xFEFF/0xFF
        .irp k, 18, 22, 26, 30
        mov ax, [ebp+\k]
        mov cx, [ebp+\k+2]
        idiv cl
        SAVE eax
        .endr
        mov ax, 0xFEFF
        mov cl, 0xFF
        div cl
        SAVE eax

        # input values made safe: the divisor above the high half for div,
        # a sign-extended dividend and |divisor| >= 2 for idiv
        .irp offset, 64, 80, 96, 112, 128
        mov eax, [esi+\offset]
        mov edx, [esi+\offset+4]
        and edx, 0x7FFFFFFF
        mov ecx, [esi+\offset+8]
        or ecx, 0x80000000
        div ecx
        SAVE eax
        SAVE edx
        mov eax, [esi+\offset]
        mov edx, [esi+\offset+4]
        and dx, 0x7FFF
        mov ecx, [esi+\offset+8]
        or cx, 0x8000
        div cx
        SAVE eax
        SAVE edx
        mov eax, [esi+\offset]
        and ah, 0x7F
        or cl, 0x80
        div cl
        SAVE eax
        mov ecx, [esi+\offset+12]
        and ecx, 0x7FFFFFFC
        or ecx, 2
        test byte ptr [esi+\offset+4], 1
        jz 1f
        neg ecx
1:
        mov eax, [esi+\offset]
        cdq
        SAVE edx
        idiv ecx
        SAVE eax
        SAVE edx
        mov eax, [esi+\offset]
        cwd
        SAVE edx
        and ecx, 0x7FFC
        or ecx, 2
        test byte ptr [esi+\offset+5], 1
        jz 1f
        neg cx
1:
        idiv cx
        SAVE eax
        SAVE edx
        mov eax, [esi+\offset]
        cbw
        SAVE eax
        and cl, 0x7C
        or cl, 2
        test byte ptr [esi+\offset+6], 1
        jz 1f
        neg cl
1:
        idiv cl
        SAVE eax
        mov eax, [esi+\offset+8]
        cwde
        SAVE eax
        .endr
        END_ROUTINE
