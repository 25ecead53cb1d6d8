#pragma once

#include <QIcon>
#include <QList>

namespace varnel {

// The sizes at which the program icon is drawn; each is a PNG in the resources.
inline const QList<int> kAppIconSizes = {16, 32, 48, 64, 128, 256};

// The program's icon, every drawn size of it, from the compiled-in resources.
QIcon AppIcon();

}  // namespace varnel
