// lv_lf_table_writer OUTPUT: computes the glottal template tables (buildLfTemplateTables) and writes
// them as the C++ source that defines kLfTemplateLevelTable and kLfMainExcitationTable. Run while
// lv_dsp is built, from the same compiled code that the library's own buildLfTemplateTables is; every
// value is written as a hexadecimal literal, which the compiler reads back to the same bits.

#include "dsp/LfModel.h"
#include "dsp/LfTemplateData.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>

namespace {

constexpr int kValuesPerLine = 6;

// %a of a finite value is exact; a float widened to double keeps its value, and the f suffix
// narrows it back without rounding.
template <class T>
bool writeValues(std::FILE* out, const char* declaration, std::span<const T> values)
{
    if (std::fprintf(out, "%s{\n", declaration) < 0) {
        return false;
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double v = double(values[i]);
        if (!std::isfinite(v)) {
            std::fprintf(stderr, "lv_lf_table_writer: value %zu of \"%s\" is not finite\n", i, declaration);
            return false;
        }
        const char* end = (i + 1) % kValuesPerLine == 0 || i + 1 == values.size() ? ",\n" : ", ";
        if (std::fprintf(out, "%s%a%s%s", i % kValuesPerLine == 0 ? "    " : "", v, sizeof(T) == sizeof(float) ? "f" : "",
                         end) < 0) {
            return false;
        }
    }
    return std::fprintf(out, "};\n") >= 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: lv_lf_table_writer OUTPUT\n");
        return 2;
    }
    const Tessarin::LfTemplateTables tables = Tessarin::buildLfTemplateTables();
    if (tables.levels.size() != Tessarin::kLfTemplateLevelCount) {
        std::fprintf(stderr, "lv_lf_table_writer: %zu levels computed\n", tables.levels.size());
        return 1;
    }

    // Written beside the target and renamed over it, so that a build stopped half-way leaves no
    // truncated source for the next one to compile.
    const std::string target = argv[1];
    const std::string part = target + ".part";
    std::FILE* out = std::fopen(part.c_str(), "w");
    if (out == nullptr) {
        std::fprintf(stderr, "lv_lf_table_writer: %s: %s\n", part.c_str(), std::strerror(errno));
        return 1;
    }
    bool ok = std::fprintf(out, "// Written by lv_lf_table_writer while lv_dsp is built; not kept in the sources.\n\n"
                                "#include \"dsp/LfTemplateData.h\"\n\n"
                                "namespace Tessarin {\n\n") >= 0;
    ok = ok && writeValues(out, "const std::array<float, kLfTemplateLevelCount> kLfTemplateLevelTable",
                           std::span<const float>(tables.levels));
    ok = ok && std::fprintf(out, "\n") >= 0;
    ok = ok && writeValues(out, "const std::array<double, kLfTemplateCount> kLfMainExcitationTable",
                           std::span<const double>(tables.mainExcitation));
    ok = ok && std::fprintf(out, "\n} // namespace Tessarin\n") >= 0;
    ok = std::fclose(out) == 0 && ok;
    if (!ok || std::rename(part.c_str(), target.c_str()) != 0) {
        std::fprintf(stderr, "lv_lf_table_writer: %s: cannot be written\n", target.c_str());
        std::remove(part.c_str());
        return 1;
    }
    return 0;
}
