#include "box_link.h"

namespace varnel {

bool BoxLink::OpenLink(QString& error) {
    error.clear();
    return true;
}

}  // namespace varnel
