; hello.asm - prints a greeting on an Ohio Scientific 6502 machine.
;
; Load it at $0300 and start it there. It writes its message through the
; target's character output routine at $FFEE, which returns with A, X and Y
; unchanged, then waits in a tight loop: press BREAK (RESET) to get back to
; the monitor or BASIC.

OUTCH   =   $FFEE           ; the ROM's output routine: writes the byte in A

        *=  $0300

START   LDX #$00            ; X counts through the message
LOOP    LDA MSG,X
        BEQ DONE            ; the NUL ends it
        JSR OUTCH
        INX
        BNE LOOP
DONE    JMP DONE            ; nothing to return to: wait for BREAK

MSG     .BYTE $0D,$0A
        .BYTE "HELLO FROM KORVANE"
        .BYTE $0D,$0A,$00
