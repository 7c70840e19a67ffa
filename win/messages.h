// The messages qorvexw prints for every command line, each written once:
// the conversion and the SMBIOS modes share them.
#ifndef QORVEX_WIN_MESSAGES_H
#define QORVEX_WIN_MESSAGES_H

void print_banner();
void print_memory_error();
void print_open_error(const char* name);
void print_read_error(const char* name);
void print_write_error(const char* name);
void print_no_field(const char* name);

#endif  // QORVEX_WIN_MESSAGES_H
