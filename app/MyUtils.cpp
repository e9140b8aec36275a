#include "app/MyUtils.h"

#include "platform/Exception.h"
#include "platform/HexDigit.h"
#include "platform/Posix.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int AsciiDigit(QChar c, int base)
{
    const int digit = HexDigitValue(c.unicode());
    return digit < base ? digit : -1;
}

// A whole text as an integer: optional sign, then decimal digits or
// hexadecimal ones after "$" or "0x". Decimal must fit a signed 32-bit
// value; hexadecimal may use all 32 bits.
std::optional<qint64> ToInteger(QStringView text)
{
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'-' || text.front() == u'+')) {
        negative = text.front() == u'-';
        text = text.mid(1);
    }
    int base = 10;
    if (text.startsWith(u'$')) {
        base = 16;
        text = text.mid(1);
    } else if (text.startsWith(u"0x", Qt::CaseInsensitive)) {
        base = 16;
        text = text.mid(2);
    }
    if (text.isEmpty())
        return std::nullopt;
    const qint64 limit =
        base == 16 ? qint64(0xFFFFFFFF) : qint64(std::numeric_limits<qint32>::max()) + (negative ? 1 : 0);
    qint64 value = 0;
    for (QChar c : text) {
        const int digit = AsciiDigit(c, base);
        if (digit < 0)
            return std::nullopt;
        value = value * base + digit;
        if (value > limit)
            return std::nullopt;
    }
    return negative ? -value : value;
}

[[noreturn]] void RaiseReadError(const QString& fileName, int error)
{
    throw Exception(QStringLiteral("Chyba při čtení souboru ") + fileName + QStringLiteral("\r\n") +
                    SysErrorText(error));
}

} // namespace

QString IPAddrToStr(std::uint32_t Addr)
{
    unsigned char b[4];
    std::memcpy(b, &Addr, sizeof b);
    return QStringLiteral("%1.%2.%3.%4").arg(b[0]).arg(b[1]).arg(b[2]).arg(b[3]);
}

std::uint32_t StrToIPAddr(const QString& Text)
{
    QStringList parts;
    Split(Text, QStringLiteral("."), parts);
    unsigned char b[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4 && i < parts.size(); ++i)
        if (const auto value = ToInteger(QStringView(parts[i]).trimmed()))
            b[i] = static_cast<unsigned char>(*value & 0xFF);
    std::uint32_t result;
    std::memcpy(&result, b, sizeof result);
    return result;
}

int Split(const QString& Text, const QString& Delimiter, QStringList& List)
{
    List.clear();
    // An empty delimiter occurs nowhere: the text stays whole.
    if (Delimiter.isEmpty()) {
        if (!Text.isEmpty())
            List.append(Text);
        return int(List.size());
    }
    qsizetype from = 0;
    for (;;) {
        const qsizetype p = Text.indexOf(Delimiter, from);
        if (p < 0) {
            if (from < Text.size())
                List.append(Text.mid(from));
            break;
        }
        List.append(Text.mid(from, p - from));
        from = p + Delimiter.size();
    }
    return int(List.size());
}

int MakeLangId(int Primary, int Sub)
{
    return static_cast<quint16>((Sub << 10) | Primary);
}

QString SysErrorText(int Code)
{
    if (Code == 0)
        Code = errno;
    return platform::ErrnoText(Code);
}

qint64 GetFileSizeByName(const QString& FileName)
{
    struct stat st;
    if (::stat(QFile::encodeName(FileName).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return st.st_size;
}

qint64 ReadFileToBuffer(const QString& FileName, char* Buffer, qint64 MaxLength, bool RaiseErrors)
{
    const auto fail = [&](int error) -> qint64 {
        if (RaiseErrors)
            RaiseReadError(FileName, error);
        return -1;
    };
    if (MaxLength < 0 || (MaxLength > 0 && Buffer == nullptr))
        return fail(EINVAL);

    platform::UniqueFd fd(::open(QFile::encodeName(FileName).constData(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return fail(errno);
    struct stat st;
    if (::fstat(fd.get(), &st) != 0)
        return -1;
    // A directory opens but is no file to read.
    if (S_ISDIR(st.st_mode))
        return fail(EISDIR);

    const qint64 wanted = qMin<qint64>(st.st_size, MaxLength);
    qint64 done = 0;
    while (done < wanted) {
        const ssize_t n = ::read(fd.get(), Buffer + done, size_t(wanted - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail(errno);
        if (n == 0)
            break;
        done += n;
    }
    return done;
}

QByteArray ReadFileToString(const QString& FileName, bool RaiseErrors)
{
    const qint64 size = GetFileSizeByName(FileName);
    if (size <= 0)
        return QByteArray();
    QByteArray buffer(size, Qt::Uninitialized);
    const qint64 got = ReadFileToBuffer(FileName, buffer.data(), size, RaiseErrors);
    buffer.truncate(got < 0 ? 0 : got);
    return buffer;
}

bool TryStrictStrToIP(const QString& Text, std::uint32_t& Addr)
{
    const QStringList parts = Text.split(u'.');
    if (parts.size() != 4)
        return false;
    unsigned char bytes[4];
    for (int i = 0; i < 4; ++i) {
        const QString& part = parts[i];
        if (part.isEmpty() || part.size() > 3)
            return false;
        unsigned value = 0;
        for (QChar c : part) {
            if (c < u'0' || c > u'9')
                return false;
            value = value * 10 + unsigned(c.unicode() - u'0');
        }
        // A leading zero is how other tools write octal; refuse it.
        if (value > 255 || (part.size() > 1 && part[0] == u'0'))
            return false;
        bytes[i] = static_cast<unsigned char>(value);
    }
    std::memcpy(&Addr, bytes, sizeof Addr);
    return true;
}

bool IsContiguousMask(std::uint32_t Mask)
{
    unsigned char bytes[4];
    std::memcpy(bytes, &Mask, sizeof bytes);
    // The first dotted number becomes the top byte, whatever the machine.
    const std::uint32_t host = (std::uint32_t(bytes[0]) << 24) | (std::uint32_t(bytes[1]) << 16) |
                               (std::uint32_t(bytes[2]) << 8) | std::uint32_t(bytes[3]);
    const std::uint32_t inverted = ~host;
    return (inverted & (inverted + 1)) == 0;
}

bool IsZeroMAC(const std::array<std::uint8_t, 6>& MAC)
{
    return std::all_of(MAC.begin(), MAC.end(), [](std::uint8_t b) { return b == 0; });
}
