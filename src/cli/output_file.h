// Opening a named output without destroying anything by mistake. Shared by
// korvane's load file and korvane-verify's image.
#pragma once

#include <string>

enum class output_open {
    opened,     // out_fd is open for writing, at the start of an empty file or a device
    exists,     // the name exists in some form and force was not given
    same_file,  // the name is the regular file open on in_fd
    failed,     // it cannot be created or opened; errno tells why
};

// Opens name for writing. Without force the name must not exist in any form
// (file, directory, link, dangling link, device), and the check and the
// creation are one step. With force an existing file is replaced, unless it
// is the input itself, which is checked before the open (a read-only input
// would fail it) and again after it.
output_open open_output_file(const char* name, bool force, int in_fd, int& out_fd);

// Why a named output was not opened, in the words korvane-verify and
// korvane-tape give: "NAME: exists; give -f to replace it", "NAME: is the
// input file", or NAME and errno's reason. Empty for `opened`.
std::string refusal_text(output_open result, const char* name);

// True when both descriptors are the same regular file.
bool same_regular_file(int a, int b);
