# enter at nesting levels 0..3 (display copied from a frame chain in the
# input) and leave; pushad/popad; push of immediates, memory and ESP; pop to
# memory addressed through ESP and pop ESP; 16-bit push/pop; pushfd/popfd
# with DF; call and ret in every near form, ret imm16. Stack addresses are
# stored relative to the stack, data addresses relative to the data.
        .include "routine.inc"

        .macro ENTER_CASE size, level
        mov edx, esp
        lea ebp, [esi+128]
        enter \size, \level
        mov eax, edx
        sub eax, esp
        SAVE eax
        mov eax, edx
        sub eax, ebp
        SAVE eax
        mov eax, [ebp]
        sub eax, esi
        SAVE eax
        .irp i, 1, 2
        .if \i < \level
        mov eax, [ebp-4*\i]
        SAVE eax
        .endif
        .endr
        .if \level > 0
        mov eax, [ebp-4*\level]
        sub eax, ebp
        SAVE eax
        .endif
        leave
        mov eax, edx
        sub eax, esp
        SAVE eax
        mov eax, ebp
        sub eax, esi
        SAVE eax
        .endm

        BEGIN_ROUTINE
        ENTER_CASE 0, 0
        ENTER_CASE 12, 0
        ENTER_CASE 8, 1
        ENTER_CASE 20, 2
        ENTER_CASE 4, 3

        # pushad/popad round trip with changes made on the stack
        push esi
        push edi
        mov eax, [esi]
        mov ecx, [esi+4]
        mov edx, [esi+8]
        mov ebx, [esi+12]
        mov ebp, [esi+16]
        mov edi, [esi+24]
        mov esi, [esi+20]
        pushad
        xor dword ptr [esp], 0x01010101
        add dword ptr [esp+4], 3
        not dword ptr [esp+8]
        mov dword ptr [esp+12], 0
        neg dword ptr [esp+16]
        rol dword ptr [esp+20], 8
        inc dword ptr [esp+24]
        dec dword ptr [esp+28]
        popad
        pushad
        mov esi, [esp+36]
        mov edi, [esp+32]
        mov eax, [esp+12]
        sub eax, esp
        SAVE eax
        .irp k, 0, 4, 8, 16, 20, 24, 28
        mov eax, [esp+\k]
        SAVE eax
        .endr
        add esp, 40

        # 16-bit pusha/popa
        mov eax, [esi+28]
        mov ebx, [esi+32]
        mov edx, esp
        pushaw
        mov ecx, edx
        sub ecx, esp
        SAVE ecx
        not word ptr [esp+14]
        popaw
        SAVE eax
        SAVE ebx

        # pushes of every kind, then pops back into memory
        mov edx, esp
        push 5
        push -3
        push 0x12345678
        push dword ptr [esi+40]
        push word ptr [esi+44]
        pushw 0x1234
        mov ax, [esi+46]
        push ax
        push esp
        mov eax, edx
        sub eax, esp
        SAVE eax
        pop eax
        sub eax, esp
        SAVE eax               # the ESP that push esp stored: the one before it
        pop cx
        pop bx
        SAVE ecx
        SAVE ebx
        pop word ptr [edi]
        pop dword ptr [edi+4]
        lea edi, [edi+8]
        pop dword ptr [esp+4]  # address taken after ESP moved up
        pop eax
        SAVE eax
        pop eax
        SAVE eax
        mov eax, edx
        sub eax, esp
        SAVE eax
        lea eax, [esp-8]
        push eax
        pop esp
        mov eax, edx
        sub eax, esp
        SAVE eax
        add esp, 8

        # flags through the stack, DF included
        LOAD_FLAGS [esi+48]
        std
        pushfd
        pop eax
        cld
        and eax, ALL_FLAGS | 0x400
        SAVE eax
        push 0x400 | 0x8C5
        popfd
        mov ebx, esi
        push esi
        lea esi, [ebx+20]
        lodsb
        lodsw
        mov ecx, esi
        sub ecx, ebx
        pop esi
        SAVE_FLAGS ALL_FLAGS | 0x400
        cld
        SAVE ecx
        pushw 0x0801
        popfw
        SAVE_FLAGS ALL_FLAGS

        # near calls and jumps: direct, through a register and through memory
        call 1f
1:
        pop ebx
        lea ecx, [ebx + (fn_value - 1b)]
        mov eax, [esi+52]
        call fn_value
        SAVE eax
        call ecx
        SAVE eax
        mov [edi], ecx
        call dword ptr [edi]
        SAVE eax
        lea ecx, [ebx + (jumped - 1b)]
        jmp ecx
        SAVE 0xBAD
jumped:
        lea ecx, [ebx + (jumped_mem - 1b)]
        mov [edi], ecx
        jmp dword ptr [edi]
        SAVE 0xBAD
jumped_mem:
        mov edx, esp
        push dword ptr [esi+56]
        push dword ptr [esi+60]
        call fn_stdcall
        SAVE eax
        sub edx, esp
        SAVE edx
        END_ROUTINE

fn_value:
        rol eax, 5
        inc eax
        ret

fn_stdcall:
        mov eax, [esp+4]
        sub eax, [esp+8]
        ret 8
