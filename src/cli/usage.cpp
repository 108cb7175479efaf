#include "cli/usage.h"

#include <unistd.h>

#include <cstring>

#include "formats/streams.h"

const char usage_text[] =
    "\r\n"
    "V1.08 Usage:\r\n"
    "\r\n"
    "KORVANE [-l<hex address>][-g<hex address>][-t][-f][-p<nn>][-r<type>]\r\n"
    "        [-a|-v|-i<hex addr>|-c|-q|-b[baud]] [InFile] [OutFile]\r\n"
    "\r\n"
    "-a  Convert binary data to OSI 65A Serial Monitor Load Format\r\n"
    "-v  Convert binary data to OSI 65V ROM Monitor Load Format\r\n"
    "-c  Convert binary data to MOS/OSI Checksum Load Format\r\n"
    "-q  Convert binary data to OSI QSave Binary Checksum Load Format\r\n"
    "-b[baud]  Convert a BASIC listing for BASIC's LOAD played at 300, 600 or 1200 baud\r\n"
    "        (default 300)\r\n"
    "-i[addr]  Convert data to hybrid 65V / Checksum/QSave load format for BASIC-IN-ROM OSIs\r\n"
    "        (optional address specifies loader location. Defaults to load addr-256)\r\n"
    "-g<addr>  go/execute address; Defaults to load address.\r\n"
    "-l<addr>  load/target address of file\r\n"
    "-r<type>  input type: bin (raw image, the default), hex (Intel HEX), srec (S-records)\r\n"
    "        or prg (two bytes of load address, low byte first, then the image)\r\n"
    "-p<nn> nn=number of bytes of nul padding at end of line in hex) defaults to 5\r\n"
    "-m\"Message\" Add a text message before the start of checksum/qsave format\r\n"
    "-f  Force overwrite of target file\r\n"
    "-t  Use CR/LF End of Line. Normally just CR\r\n"
    " Infile can be redirected console input (stdin), Outfile defaults to (stdout)\r\n"
    "\r\n"
    " ex: Korvane -i -l0300 6502.bin file.lod\r\n"
    "     Korvane -i0300 > lod.chk < nul  (emit checksum loader at $0300 with no data)\r\n";

int print_usage() { return write_all(STDERR_FILENO, usage_text, std::strlen(usage_text)) ? 0 : -1; }
