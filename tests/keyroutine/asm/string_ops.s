# movs, stos, lods, cmps and scas with rep/repe/repne at every size, both
# directions, the stop conditions and final ECX/ESI/EDI, a rep with ECX = 0
# (nothing moves, no flag changes) and a DS prefix written out. EBX is the
# result cursor here since EDI belongs to the string instructions; the param
# chooses some counts and positions.
        .include "routine.inc"

        .macro PUT value
        mov dword ptr [ebx], \value
        lea ebx, [ebx+4]
        .endm

        .macro PUT_FLAGS mask
        pushfd
        pushfd
        and dword ptr [esp], \mask
        pop dword ptr [ebx]
        lea ebx, [ebx+4]
        popfd
        .endm

# ECX, and ESI and EDI as offsets into the data.
        .macro PUT_POSITION
        PUT ecx
        mov eax, esi
        sub eax, ebp
        PUT eax
        mov eax, edi
        sub eax, ebp
        PUT eax
        .endm

        BEGIN_ROUTINE
        movzx edx, byte ptr [esp+24]       # param
        lea ebx, [ebp+2048]

        # rep movs forwards: bytes (count from the param), words, dwords
        mov esi, ebp
        lea edi, [ebp+256]
        mov ecx, edx
        and ecx, 15
        add ecx, 21
        rep movsb
        PUT_POSITION
        lea esi, [ebp+40]
        lea edi, [ebp+320]
        mov ecx, 9
        rep movsw
        PUT_POSITION
        mov ecx, 5
        rep movsd
        PUT_POSITION

        # backwards
        std
        lea esi, [ebp+100]
        lea edi, [ebp+420]
        mov ecx, 13
        rep movsb
        PUT_POSITION
        lea esi, [ebp+80]
        lea edi, [ebp+400]
        mov ecx, 3
        rep movsd
        PUT_POSITION
        movsw
        PUT_POSITION
        cld

        # stos at every size, and backwards
        mov eax, [ebp+4]
        lea edi, [ebp+448]
        mov ecx, 11
        rep stosb
        PUT_POSITION
        mov ecx, 5
        rep stosw
        PUT_POSITION
        mov ecx, 3
        rep stosd
        PUT_POSITION
        std
        mov eax, [ebp+8]
        mov ecx, 2
        rep stosd
        stosb
        PUT_POSITION
        cld

        # lods: no rep, then a rep that keeps the last one
        lea esi, [ebp+8]
        lodsb
        PUT eax
        lodsw
        PUT eax
        lodsd
        PUT eax
        mov ecx, 6
        rep lodsb
        PUT eax
        PUT_POSITION
        std
        lodsw
        PUT eax
        PUT_POSITION
        cld

        # repe cmps against a copy that differs at a position the param
        # chooses, or not at all when its top bit is set
        mov esi, ebp
        lea edi, [ebp+512]
        mov ecx, 8
        rep movsd
        mov eax, edx
        and eax, 31
        test dl, 0x80
        jnz 1f
        xor byte ptr [ebp+eax+512], 0x40
1:
        mov esi, ebp
        lea edi, [ebp+512]
        mov ecx, 32
        repe cmpsb
        PUT_FLAGS ALL_FLAGS
        PUT_POSITION
        mov esi, ebp
        lea edi, [ebp+512]
        mov ecx, 8
        repe cmpsd
        PUT_FLAGS ALL_FLAGS
        PUT_POSITION
        mov esi, ebp
        lea edi, [ebp+512]
        mov ecx, 16
        repne cmpsw
        PUT_FLAGS ALL_FLAGS
        PUT_POSITION

        # repne scas for a byte that the param picks from the input (or
        # one that may be absent), and repe scas over a run of equal words
        mov eax, edx
        and eax, 63
        movzx eax, byte ptr [ebp+eax]
        test dl, 0x40
        jz 1f
        mov al, dl
1:
        mov edi, ebp
        mov ecx, 64
        repne scasb
        PUT_FLAGS ALL_FLAGS
        PUT_POSITION
        lea edi, [ebp+448]
        mov ax, [edi]
        mov ecx, 12
        repe scasw
        PUT_FLAGS ALL_FLAGS
        PUT_POSITION
        mov eax, [ebp+12]
        mov edi, ebp
        mov ecx, 4
        repne scasd
        PUT_FLAGS ALL_FLAGS
        PUT_POSITION

        # ECX = 0: nothing is read or written and the flags stay
        LOAD_FLAGS [ebp+16]
        xor ecx, ecx
        mov esi, ebp
        lea edi, [ebp+600]
        rep movsb
        repe cmpsb
        repne scasd
        PUT_FLAGS ALL_FLAGS
        PUT_POSITION

        # the default segment as an explicit prefix
        mov esi, ebp
        lea edi, [ebp+608]
        .byte 0x3E, 0xA5           # movsd with ds:
        .byte 0x3E, 0xF3, 0xA4     # ds: rep movsb (ECX = 0)
        PUT_POSITION
        mov edi, ebx
        END_ROUTINE
