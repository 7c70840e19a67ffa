#include "run_state.h"

bool text_is_8bit = true;
uint8_t last_written_type = kNoSectionType;

void reset_run_state() {
  text_is_8bit = true;
  last_written_type = kNoSectionType;
}
