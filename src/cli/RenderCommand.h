#pragma once

// lvtb render MODEL_FILE --out WAV | lvtb render FILE --entry KEY --out WAV

#include "cli/Cli.h"
#include "engine/VoiceModel.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lvtb {

// The model re-synthesised by the whole-model renderer at 44100 Hz, its noise drawn from the unit's
// own generator, so a unit always sounds the same. A model read from a file gets its harmonic peaks
// back first (frequencies only: the renderer takes just their count).
std::vector<std::int16_t> renderModel(TSVM_V0::TsVoiceModel& model, const std::string& symbol, const std::string& pitch);

Command renderCommand();

} // namespace lvtb
