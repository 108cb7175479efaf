#pragma once

// The usage text, CR LF line ends included.
extern const char usage_text[];

// Writes the usage text to standard error in one write. 0 or -1.
int print_usage();
