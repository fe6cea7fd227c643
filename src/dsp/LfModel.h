#pragma once

// The Liljencrants–Fant model of the glottal flow derivative, driven by the shape parameter Rd
// (Fant's regression of the LF timing on Rd), and the family of 270 pulse templates Rd = 0.01 … 2.70
// that the analysis chooses from, with their harmonic levels and instants of main excitation.
//
// All shape and waveform values are single precision. The template tables are computed while the
// library is built (lv_lf_table_writer runs buildLfTemplateTables) and compiled in as constants, so
// reading them costs nothing at start-up and needs no lock.

#include "core/AnalysisConstants.h"
#include "core/FastVector.h"

#include <array>
#include <span>
#include <vector>

namespace Tessarin {

inline constexpr int kLfPeriodSamples = 100;

struct LfShape {
    float Rd = 0.0f;
    float shift = 0.0f; // > 0 only for Rd above 2.7
    float T0 = 1.0f;    // period
    float te = 0.0f;    // main excitation instant, as a fraction of the period
    float tp = 0.0f;    // flow maximum, as a fraction of the period
    float Ra = 0.0f;
    float Ee = 1.0f;    // excitation amplitude

    static LfShape fromRd(float rd, float period, float excitation);
};

struct LfWaveform {
    float T0 = 1.0f;
    float te = 0.0f; // te · T0
    float tp = 0.0f; // tp · T0
    float ta = 0.0f; // Ra · T0
    float omegaG = 0.0f;
    float sinOmegaTe = 0.0f;
    float cosOmegaTe = 0.0f;
    float epsilon = 0.0f;
    float alpha = 0.0f;
    float E0 = 0.0f;
    float Ee = 1.0f;

    static LfWaveform fromShape(const LfShape& shape);

    // The flow derivative at 0 ≤ t ≤ T0 (0 outside): the growing sinusoid of the open phase up to te,
    // the exponential return phase after it. Both give −Ee at te.
    float flowDerivative(float t) const;
    float openPhase(float t) const;
    float returnPhase(float t) const;
};

// Brent's root search in single precision: tolerance 1e-8 on the function value and on the bracket
// width. A bracket whose ends do not differ in sign gives its midpoint.
template <class F>
float brentRoot(F f, float a, float b, float tolerance = 1e-8f);

// One period as 100 samples, the main excitation (−Ee) at sample round(100 · te).
void renderLfPeriod(const LfShape& shape, std::span<float> out);

// Both template tables as computed: what the embedded tables were written from (and are tested
// against bit for bit). About half a second of CPU: 270 transforms of 65536 points.
struct LfTemplateTables {
    std::vector<float> levels; // kLfTemplateCount rows of kLfTemplateHarmonics [dB]
    std::array<double, kLfTemplateCount> mainExcitation{};
};
LfTemplateTables buildLfTemplateTables();

// Template index of a shape value: 0 up to 0.01, 369 from 3.7, else (x − 0.01) / 0.01 rounded.
int lfTemplateIndex(float rd);
// The shape values of the templates, 0.01 upward in steps of 0.01 added in single precision.
const std::array<float, kLfTemplateCount>& lfTemplateValues();
// te / T0 of a template; 0.5 for an index outside the table.
double lfMainExcitation(int index);
// The 400 harmonic levels [dB] of a template (a 65536-point DFT of one period at T0 = 1, Ee = 1),
// into out sized to 400. An index outside the table is clamped to it.
void lfTemplateLevels(int index, FastVector<float>& out);

} // namespace Tessarin

#include "dsp/LfModel.inl"
