#include "wiegandformats.h"

#include "fieldcatalog.h"

namespace varo::config {

const std::array<FormatFields, kFormatCount> &formatFields() {
    static const std::array<FormatFields, kFormatCount> formats = [] {
        std::array<FormatFields, kFormatCount> all;
        for (int f = 0; f < kFormatCount; ++f) {
            const QString format = QStringLiteral("wiegand.format%1.").arg(f + 1);
            for (int p = 0; p < int(kFormatParts.size()); ++p) {
                const QString part = format + QLatin1String(kFormatParts[p]) + u'.';
                FormatPartFields &fields = all[f].parts[p];
                fields.start = part + QStringLiteral("start");
                fields.length = part + QStringLiteral("length");
                fields.lsb = part + QStringLiteral("lsb");
                fields.chars = part + QStringLiteral("chars");
            }
            all[f].totalBits = format + QStringLiteral("totalBits");
        }
        return all;
    }();
    return formats;
}

} // namespace varo::config
