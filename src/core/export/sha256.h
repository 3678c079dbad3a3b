#pragma once

#include <QByteArray>

namespace bankprep {

// The SHA-256 of bytes, in lower-case hex. With the processor's SHA instructions where it
// has them (checked once against the portable implementation), else libsodium's.
QByteArray sha256Hex(const QByteArray& bytes);

} // namespace bankprep
