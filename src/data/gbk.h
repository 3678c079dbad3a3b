#pragma once

#include <QString>

namespace bankprep {

// The text cut to at most `maxBytes` bytes of its GBK form, never in the middle of a
// character. A character GBK cannot encode counts as two bytes.
QString truncateToGbkBytes(const QString& text, int maxBytes);

} // namespace bankprep
