#include "run/conversion_job.h"

#include "inputs/input_list.h"

namespace pixolune {

void resetRunState() {
  conversionJob() = ConversionJob{};
  nameCounters() = NameCounters{drawRandomNumber(), 1};
  resetInputState();
}

}  // namespace pixolune
