// libFuzzer target over the readers of the service's today answers: the lyrics envelope
// (header lines, zlib, Base64, XOR, GB18030) and the music.pay record, and the address
// rule over the same bytes.

#include <QByteArray>
#include <QString>

#include <cstdlib>

#include "core/errors.h"
#include "core/kuwotoday.h"
#include "core/textcutting.h"

using namespace corvane;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    try {
        const QString lrc = readLyricAnswer(input);
        const QString lines = plainLyricLines(lrc);
        check(!lines.contains(u'\n') || lines.contains(u"\r\n"));
    } catch (const ContentError &) {
    }
    try {
        const PaySong song = readMusicPay(input);
        check(!song.name.isEmpty() && song.name.size() <= kNameMaxUnits && song.duration >= 0);
    } catch (const ContentError &) {
    }
    const QString id = songIdFromText(QString::fromUtf8(input));
    check(id.size() <= 20);
    for (const QChar c : id)
        check(c.isDigit());
    return 0;
}
