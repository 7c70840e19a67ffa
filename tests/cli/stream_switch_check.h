// A test mode of the Windows test build of qorvexw: the stdio binding on one
// FILE that is read and written in turn. The Windows C runtime needs a flush
// or a seek between a write and a read of a FILE (and back), where glibc
// forgives a missing one, so this runs where that runtime does.
#ifndef QORVEX_TESTS_CLI_STREAM_SWITCH_CHECK_H
#define QORVEX_TESTS_CLI_STREAM_SWITCH_CHECK_H

// The argument that selects the mode: qorvexw --check-stream-switch FILE.
constexpr const char kStreamSwitchCheck[] = "--check-stream-switch";

// Creates `path` and switches between reading and writing it through the
// binding. Prints "ok" or the first step that went wrong; returns the exit code.
int check_stream_switch(const char* path);

#endif  // QORVEX_TESTS_CLI_STREAM_SWITCH_CHECK_H
