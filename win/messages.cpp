#include "messages.h"

#include <stdio.h>

#include "qorvex_version.h"

void print_banner() {
  printf("QORVEX ver %d.%d.%d\r\n", QORVEX_VERSION_MAJOR, QORVEX_VERSION_MINOR, QORVEX_VERSION_PATCH);
}
void print_memory_error() { printf("Error, memory allocation failed\r\n"); }
void print_open_error(const char* name) { printf("Error, Can not open the file [%s]!\r\n", name); }
void print_read_error(const char* name) { printf("Error, Can not read the file [%s]!\r\n", name); }
void print_write_error(const char* name) { printf("Error, Can not write the file [%s]!\r\n", name); }
void print_no_field(const char* name) { printf("Error, No field found in the file [%s]!\r\n", name); }
