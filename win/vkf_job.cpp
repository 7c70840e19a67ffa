#include "vkf_job.h"

#include "command_line.h"
#include "messages.h"
#include "stdio_binding.h"
#include "vkf_output.h"

int write_vkf(const char* vkf_name, FILE* source, bool quiet, VkfRecordWriter write, void* job) {
  VkfOutput output;
  if (!argument_is_exact(kVkfArgument, vkf_name) || !begin_vkf_output(&output, vkf_name, source)) {
    print_open_error(vkf_name);
    return kExitFailure;
  }
  // Static: it holds a window too large for a small stack. The binding
  // gathers the writes in it: the FILE's buffer would only copy every byte
  // once more.
  static StdioFile vkf;
  setvbuf(output.file, nullptr, _IONBF, 0);
  CoreStream stream = make_stdio_stream(&vkf, output.file);
  ConsoleOps console = make_stdio_console();
  if (!write(job, &stream, &console)) {
    abandon_vkf_output(&output);
    return kExitFailure;
  }
  // The last gathered records reach the file only now; a full disk may show
  // up here first.
  if (flush_stdio_stream(&vkf) != kStreamSuccess) {
    abandon_vkf_output(&output);
    print_write_error(vkf_name);
    return kExitFailure;
  }
  if (!commit_vkf_output(&output)) {
    print_write_error(vkf_name);
    return kExitFailure;
  }
  if (!quiet) console.done(console.context);
  return kExitSuccess;
}
