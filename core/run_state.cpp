#include "run_state.h"

bool text_is_8bit = true;
bool quiet = false;
uint8_t last_written_type = kNoSectionType;

void reset_run_state() {
  text_is_8bit = true;
  quiet = false;
  last_written_type = kNoSectionType;
}
