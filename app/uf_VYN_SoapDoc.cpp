// The SOAP document: header lines, body, and the URL they follow.
#include "app/uf_VYN.h"

#include "app/MyUtils.h"
#include "lang/uLanguage.h"
#include "platform/Exception.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStringDecoder>
#include <QStringEncoder>

namespace {

const QString ContentLengthLine = QStringLiteral("Content-length: length");

const QStringList EmptyDocumentSet = {
    QStringLiteral("POST / HTTP/1.1"),
    QStringLiteral("Host: "),
    QStringLiteral("Content-Type: application/soap+xml; charset=utf-8"),
    QStringLiteral("Content-Length: length"),
};
const QStringList NoSeparatorSet = {
    QStringLiteral("POST /Sensors.asmx HTTP/1.1"),
    QStringLiteral("Host: "),
    QStringLiteral("Content-Type: application/soap+xml; charset=utf-8"),
    QStringLiteral("Content-Length: length"),
};

// Sets a guard for one programmatic update and puts back the value given.
class TLockScope
{
public:
    TLockScope(bool& Lock, bool Restore) : FLock(Lock), FRestore(Restore) { FLock = true; }
    ~TLockScope() { FLock = FRestore; }
    TLockScope(const TLockScope&) = delete;
    TLockScope& operator=(const TLockScope&) = delete;

private:
    bool& FLock;
    bool FRestore;
};

bool IsRequestLine(const QString& Line)
{
    return Line.left(5).toLower() == QLatin1String("post ");
}

// Trim of blanks and control characters.
QString TrimText(const QString& Text)
{
    qsizetype from = 0;
    qsizetype to = Text.size();
    while (from < to && Text[from].unicode() <= 32)
        ++from;
    while (to > from && Text[to - 1].unicode() <= 32)
        --to;
    return Text.mid(from, to - from);
}

bool IsBlankBytes(const QByteArray& Bytes)
{
    for (char c : Bytes)
        if (static_cast<unsigned char>(c) > 32)
            return false;
    return true;
}

// The memo's lines; an empty memo has none.
QStringList MemoLines(const QPlainTextEdit* Memo)
{
    const QString text = Memo->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(u'\n');
}

QString ToMemoText(QString Text)
{
    Text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Text.replace(u'\r', u'\n');
    return Text;
}

QString DecodeDocument(const QByteArray& Bytes, bool Utf8)
{
    if (Utf8)
        return QString::fromUtf8(Bytes);
    QStringDecoder decoder("windows-1250");
    return decoder.decode(Bytes);
}

QByteArray EncodeDocument(const QString& Text, bool Utf8)
{
    if (Utf8)
        return Text.toUtf8();
    QStringEncoder encoder("windows-1250");
    return encoder.encode(Text);
}

bool IsValidUtf8(const QByteArray& Bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    // The decoding runs only when its result is taken.
    const QString text = decoder.decode(Bytes);
    return !decoder.hasError();
}

// Where the header ends: the first CR LF CR LF or LF LF, whichever comes
// first; -1 when there is neither.
qsizetype FindSeparator(const QByteArray& Text, qsizetype& Length)
{
    const qsizetype crlf = Text.indexOf("\r\n\r\n");
    const qsizetype lf = Text.indexOf("\n\n");
    if (crlf >= 0 && (lf < 0 || crlf <= lf)) {
        Length = 4;
        return crlf;
    }
    Length = 2;
    return lf;
}

[[noreturn]] void RaiseTooLarge()
{
    throw Exception(Language.GetText(QStringLiteral("DokumentJePrilis"),
                                     QStringLiteral("Dokument je příliš velký (maximální velikost je 65500 B)")));
}

// An exception must not unwind through Qt's event code.
} // namespace

bool TfVYN::ParseHeaderLine(const QString& Line, QString& Name, QString& Value)
{
    Name.clear();
    Value.clear();
    if (IsRequestLine(Line) || Line.startsWith(u' '))
        return false;
    const qsizetype colon = Line.indexOf(u':');
    if (colon < 0)
        return false;
    Name = TrimText(Line.left(colon));
    Value = TrimText(Line.mid(colon + 1));
    return true;
}

QString TfVYN::GetSoapHeader() const
{
    QStringList written;
    for (const QString& line : MemoLines(mSoapHead)) {
        if (TrimText(line).isEmpty())
            continue;
        QString name;
        QString value;
        if (ParseHeaderLine(line, name, value)) {
            if (name.toLower() == QLatin1String("content-length"))
                continue;
            written.append(name + QStringLiteral(": ") + value);
        } else {
            written.append(line);
        }
    }
    return written.join(QStringLiteral("\r\n"));
}

void TfVYN::SetSoapHeader(const QString& Header)
{
    QString text = ToMemoText(Header);
    if (!text.isEmpty() && !text.endsWith(u'\n'))
        text += u'\n';
    mSoapHead->setPlainText(text + ContentLengthLine);
}

void TfVYN::SetSoapBody(const QByteArray& Body)
{
    // The memo's own change must not take the displayed text back in.
    TLockScope lock(FSoapSyncLock, false);
    FSoapBody = Body;
    lblSoapStat->setText(Body.isEmpty() ? Language.GetText(QStringLiteral("empty"), QStringLiteral("<empty>"))
                                        : QString::number(Body.size()) + QStringLiteral(" B"));
    mSoapDoc->setPlainText(ToMemoText(DecodeDocument(Body, FSoapUtf8)));
}

QByteArray TfVYN::BuildSoapDocument(bool EmptyBody)
{
    if (EmptyBody && FSoapBody.isEmpty())
        return QByteArray();
    const QByteArray document = EncodeDocument(GetSoapHeader(), FSoapUtf8) + "\r\n\r\n" + FSoapBody;
    // The device takes the document in one image block.
    if (document.size() > SoapDocumentLimit)
        RaiseTooLarge();
    return document;
}

void TfVYN::SetSoapDocument(const QByteArray& Document)
{
    const bool remembered = FSoapSyncLock;
    TLockScope lock(FSoapSyncLock, remembered);
    // What is taken in is the document as given, also once the header has
    // followed a URL typed before.
    const auto taken = qScopeGuard([this] { FSoapDocEdited = FSoapDocDeleted = false; });
    FSoapUtf8 = IsValidUtf8(Document);

    if (IsBlankBytes(Document)) {
        // With the guard clear after the body, the URL follows the new
        // request line before the header follows the URL's host.
        SetSoapBody(QByteArray());
        mSoapHead->setPlainText(EmptyDocumentSet.join(u'\n'));
        SyncSoapHeaderFromURL();
        return;
    }

    qsizetype separatorLength = 0;
    const qsizetype separator = FindSeparator(Document, separatorLength);
    if (separator >= 0) {
        FSoapSyncLock = remembered;
        SetSoapHeader(DecodeDocument(Document.left(separator), FSoapUtf8));
        FSoapSyncLock = true;
        SetSoapBody(Document.mid(separator + separatorLength));
        return;
    }

    // No header to be found: the text is kept as the body rather than lost,
    // under a header made from the URL, and the operator is told.
    FSoapSyncLock = true;
    mSoapHead->setPlainText(NoSeparatorSet.join(u'\n'));
    SyncSoapHeaderFromURL();
    SetSoapBody(Document);
    FSoapSyncLock = true;
    ShowMessageBox(Language.GetText(QStringLiteral("DokumentBezHlavi"),
                                    QStringLiteral("Dokument neobsahuje hlavičku oddělenou prázdným řádkem. "
                                                   "Celý text byl převzat jako tělo dokumentu a hlavička byla "
                                                   "sestavena z URL.")),
                   48, QString(), this);
}

QString TfVYN::GetSoapHeaderHost() const
{
    for (const QString& line : MemoLines(mSoapHead)) {
        QString name;
        QString value;
        if (ParseHeaderLine(line, name, value) && name.toLower() == QLatin1String("host"))
            return value;
    }
    return QString();
}

QString TfVYN::GetSoapPostPath() const
{
    static const QRegularExpression version(QStringLiteral("\\s+HTTP/\\d+\\.\\d+$"),
                                            QRegularExpression::CaseInsensitiveOption);
    for (const QString& line : MemoLines(mSoapHead)) {
        if (!IsRequestLine(line))
            continue;
        // Only a version that is there comes off; "POST /Sensors.asmx" keeps
        // its whole path.
        QString path = TrimText(line.mid(5));
        path.remove(version);
        return TrimText(path);
    }
    return QString();
}

void TfVYN::SyncSoapHeaderFromURL()
{
    TLockScope lock(FSoapSyncLock, FSoapSyncLock);
    QString host;
    uint16_t port = 0;
    QString path;
    ParseURL(txtSOAP_URL->text(), host, port, path);
    const bool hostOK = !host.isEmpty() && host != QLatin1String("0.0.0.0");
    const bool postOK = !path.isEmpty() || hostOK;
    const QString requestLine = QStringLiteral("POST /") + path + QStringLiteral(" HTTP/1.1");
    const QString hostLine = QStringLiteral("Host: ") + host;

    QStringList lines = MemoLines(mSoapHead);
    bool seenHost = false;
    bool seenRequest = false;
    for (QString& line : lines) {
        QString name;
        QString value;
        if (ParseHeaderLine(line, name, value)) {
            if (name.toLower() == QLatin1String("host")) {
                if (hostOK)
                    line = hostLine;
                seenHost = true;
            }
        } else if (IsRequestLine(line)) {
            if (postOK)
                line = requestLine;
            seenRequest = true;
        }
    }
    if (!seenRequest)
        lines.insert(0, requestLine);
    if (!seenHost)
        lines.insert(qMin<qsizetype>(1, lines.size()), hostLine);
    const QString text = lines.join(u'\n');
    if (text == mSoapHead->toPlainText())
        return;
    // The header follows what the operator typed into the URL field.
    if (txtSOAP_URL->isModified())
        FSoapDocEdited = true;
    mSoapHead->setPlainText(text);
}

void TfVYN::mSoapHeadChange()
{
    if (FSoapSyncLock)
        return;
    QString hPath = GetSoapPostPath();
    QString hHost = GetSoapHeaderHost();
    QString uHost;
    uint16_t uPort = 0;
    QString uPath;
    ParseURL(txtSOAP_URL->text(), uHost, uPort, uPath);
    if (uHost.isEmpty())
        uHost = txtSoapIP->text();
    if (uHost.isEmpty())
        uHost = QStringLiteral("0.0.0.0");
    if (hPath.isEmpty())
        hPath = uPath;
    if (hHost.isEmpty())
        hHost = uHost;
    if (hPath == uPath && hHost == uHost)
        return;
    txtSOAP_URL->setText(BuildURL(hHost, uPort, hPath));
}

void TfVYN::mSoapDocChange()
{
    if (!chEditSoapDoc->isChecked() || FSoapSyncLock)
        return;
    // The memo gives LF; the document keeps CR LF.
    QString text = mSoapDoc->toPlainText();
    text.replace(u'\n', QStringLiteral("\r\n"));
    FSoapBody = EncodeDocument(text, FSoapUtf8);
    FSoapDocEdited = true;
    lblSoapStat->setText(FSoapBody.isEmpty() ? Language.GetText(QStringLiteral("empty"), QStringLiteral("<empty>"))
                                             : QString::number(FSoapBody.size()) + QStringLiteral(" B"));
}

QStringList TfVYN::SoapHeaderSet(bool NoSeparator)
{
    return NoSeparator ? NoSeparatorSet : EmptyDocumentSet;
}

void TfVYN::SetSoapBodyFromFile(const QByteArray& Body)
{
    if (Body.size() > SoapFileLimit)
        RaiseTooLarge();
    FSoapUtf8 = IsValidUtf8(Body);
    SetSoapBody(Body);
}

void TfVYN::CheckSoapFileSize(qint64 Size)
{
    if (Size > SoapFileLimit)
        RaiseTooLarge();
}
