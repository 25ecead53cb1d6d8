#include "app_icon.h"

namespace varnel {

QIcon AppIcon() {
    // PNGs rather than the SVG: rendering SVG would need the Qt SVG module at run time, and the
    // small sizes are hinted better by rendering each one on its own.
    QIcon icon;
    for (int size : kAppIconSizes)
        icon.addFile(QStringLiteral(":/icons/varnel-%1.png").arg(size), QSize(size, size));
    return icon;
}

}  // namespace varnel
