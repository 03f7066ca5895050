# movzx/movsx, mov in its immediate and high-byte forms, xchg, bswap,
# lahf/sahf, xlat, lea and memory operands in every ModRM/SIB form, the
# multi-byte nops (which must leave the flags alone), and 16-bit operations
# under the 0x66 prefix.
        .include "routine.inc"

        BEGIN_ROUTINE
        # zero and sign extension from registers and memory
        mov ebx, [esi]
        movzx eax, bl
        SAVE eax
        movzx eax, bh
        SAVE eax
        movzx eax, bx
        SAVE eax
        movsx eax, bh
        SAVE eax
        movsx eax, bx
        SAVE eax
        mov eax, 0xAAAAAAAA
        movzx ax, byte ptr [esi+5]
        SAVE eax
        movsx ax, byte ptr [esi+6]
        SAVE eax
        movsx ecx, word ptr [esi+6]
        SAVE ecx
        movzx ecx, byte ptr [esi+7]
        SAVE ecx

        # high-byte registers and immediate moves
        mov eax, [esi+8]
        mov ebx, [esi+12]
        mov ah, bl
        mov bh, al
        mov cl, ah
        mov ch, bh
        SAVE eax
        SAVE ebx
        SAVE ecx
        mov [edi], eax
        mov byte ptr [edi+1], 0x7E
        mov word ptr [edi+2], 0xBEEF
        lea edi, [edi+4]
        mov dword ptr [edi], 0x01234567
        lea edi, [edi+4]
        mov ax, 0x55AA
        mov edx, [esi+4]
        mov dh, 0x80
        SAVE eax
        SAVE edx

        # xchg in every form
        mov eax, [esi+16]
        mov ecx, [esi+20]
        mov edx, [esi+24]
        mov ebx, [esi+28]
        xchg eax, ecx
        xchg ax, dx
        xchg al, bh
        xchg ch, dl
        mov [edi], ebx
        xchg [edi], eax
        xchg bx, [edi+2]
        xchg [edi+1], cl
        lea edi, [edi+4]
        SAVE eax
        SAVE ebx
        SAVE ecx
        SAVE edx

        # bswap on every register it can take here
        mov eax, [esi+32]
        mov ebx, eax
        mov ecx, eax
        mov edx, eax
        mov ebp, eax
        bswap eax
        bswap ebx
        rol ebx, 8
        bswap ecx
        bswap edx
        bswap edx
        bswap ebp
        add eax, ebx
        xor eax, ecx
        sub eax, edx
        xor eax, ebp
        SAVE eax

        # lahf/sahf
        LOAD_FLAGS [esi+36]
        mov eax, 0
        lahf
        SAVE eax
        mov ah, [esi+40]
        LOAD_FLAGS [esi+44]
        sahf
        SAVE_FLAGS ALL_FLAGS

        # xlat on a table in the input, with and without a written ds:
        lea ebx, [esi+64]
        mov eax, [esi+48]
        xlatb
        SAVE eax
        and al, 0x3F
        .byte 0x3E, 0xD7
        SAVE eax

        # lea: every form, on register values (no memory is touched)
        mov ebx, [esi+52]
        mov ecx, [esi+56]
        mov ebp, [esi+60]
        lea eax, [ebx]
        SAVE eax
        lea eax, [ebx+ecx]
        SAVE eax
        lea eax, [ebx+ecx*2+5]
        SAVE eax
        lea eax, [ecx*4]
        SAVE eax
        lea eax, [ecx*8+0x12345678]
        SAVE eax
        lea eax, [ebx-0x80000000]
        SAVE eax
        lea eax, [ebp+ecx]
        SAVE eax
        lea eax, [ebp-1]
        SAVE eax
        lea eax, [ebp+ebp*2+0x100]
        SAVE eax
        lea eax, [0x7FFE0000]
        SAVE eax
        lea eax, [esp+ecx*2+8]
        sub eax, esp
        SAVE eax
        lea ax, [ebx+ecx]
        SAVE eax

        # loads through every addressing form reaching the input
        mov ebp, esi
        xor eax, eax
        add eax, [esi]
        add eax, [esi+0x10]
        add eax, [esi+0x90]
        mov ecx, 6
        add eax, [esi+ecx]
        add eax, [esi+ecx*2+1]
        add eax, [esi+ecx*4-3]
        add eax, [esi+ecx*8+0x80]
        add eax, [ebp+0]
        add eax, [ebp+ecx*1+7]
        add eax, [ebp+0x88]
        lea ecx, [esi+16-0x100]
        shr ecx, 2
        add eax, [ecx*4+0x100]
        lea ecx, [esi+20-0x1000]
        add eax, [ecx+0x1000]
        push dword ptr [esi+24]
        add eax, [esp]
        add eax, [esp+4*0]
        pop ecx
        SAVE eax

        # nops of every length leave the flags as they are
        LOAD_FLAGS [esi+28]
        .byte 0x90
        .byte 0x66, 0x90
        .byte 0x0F, 0x1F, 0x00
        .byte 0x0F, 0x1F, 0x40, 0x00
        .byte 0x0F, 0x1F, 0x44, 0x00, 0x00
        .byte 0x66, 0x0F, 0x1F, 0x44, 0x00, 0x00
        .byte 0x0F, 0x1F, 0x80, 0x00, 0x00, 0x00, 0x00
        .byte 0x0F, 0x1F, 0x84, 0x00, 0x00, 0x00, 0x00, 0x00
        .byte 0x66, 0x0F, 0x1F, 0x84, 0x00, 0x00, 0x00, 0x00, 0x00
        .byte 0x66, 0x2E, 0x0F, 0x1F, 0x84, 0x00, 0x00, 0x00, 0x00, 0x00
        .byte 0x66, 0x66, 0x2E, 0x0F, 0x1F, 0x84, 0x00, 0x00, 0x00, 0x00, 0x00
        .byte 0x8D, 0x76, 0x00                    # lea esi, [esi+0]
        .byte 0x8D, 0xB4, 0x26, 0, 0, 0, 0        # lea esi, [esi+eiz+0]
        .byte 0xF3, 0x90                          # pause
        SAVE_FLAGS ALL_FLAGS

        # 16-bit arithmetic under 0x66
        mov eax, [esi+32]
        mov ebx, [esi+36]
        add ax, bx
        SAVE_FLAGS ALL_FLAGS
        inc cx
        dec bx
        SAVE_FLAGS ALL_FLAGS
        sub ax, 0x7FFF
        SAVE_FLAGS ALL_FLAGS
        neg bx
        SAVE_FLAGS ALL_FLAGS
        cmp ax, bx
        SAVE_FLAGS ALL_FLAGS
        SAVE eax
        SAVE ebx
        mov [edi], eax
        add word ptr [edi], 0x1234
        sub word ptr [edi+2], ax
        inc word ptr [edi]
        lea edi, [edi+4]
        SAVE_FLAGS ALL_FLAGS
        END_ROUTINE
