#pragma once

// The toolkit's fonts. Sizes are in points (the view tree's unit), so text scales with the
// screen like everything else.

#include <QFont>

namespace platform {

class Font {
public:
    static QFont systemFont(qreal size);
    static QFont boldSystemFont(qreal size);
};

} // namespace platform
