// The SOAP document pages on an offscreen main window.
#include "PagesFixture.h"
#include "tests/app/DeviceIdentity.h"

#include "app/Panel.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTableView>

#include <functional>

#include <sys/stat.h>

namespace {

// The last lines of both default header sets.
const QString DefaultTail =
    QStringLiteral("\nContent-Type: application/soap+xml; charset=utf-8\nContent-Length: length");
const QString TooLarge = Utf("Dokument je příliš velký (maximální velikost je 65500 B)");

using SoapTest = PagesTest;

// Loads a file through the dialog's seam with filter entry `filter`.
void LoadFile(TfVYN& w, const QString& name, int filter)
{
    w.odSoapExecute = [=](QString& file, int& index) {
        file = name;
        index = filter;
        return true;
    };
    w.cmdLoadSoapClick();
}

// A loaded device's window, active, with the document page in front.
bool ShowDocumentPage(TfVYN& w)
{
    w.FDeviceLoaded = true;
    GiveSupportedIdentity(w);
    w.UpdateDeviceState();
    w.pnlSettingsHold->show();
    w.ShowPage(w.pnlSoapDoc, true);
    w.show();
    QApplication::setActiveWindow(&w);
    return QTest::qWaitForWindowActive(&w);
}

} // namespace

TEST_F(SoapTest, TakingInADocumentSetsHeaderBodyAndUrl)
{
    // The empty document: the URL loses its path, the header takes its host.
    w->txtSOAP_URL->setText("http://10.0.0.7/x");
    w->SetSoapDocument("  \r\n");
    EXPECT_EQ(w->txtSOAP_URL->text(), "http://10.0.0.7/");
    EXPECT_EQ(w->mSoapHead->toPlainText(), "POST / HTTP/1.1\nHost: 10.0.0.7" + DefaultTail);
    EXPECT_TRUE(w->FSoapBody.isEmpty());
    EXPECT_EQ(w->lblSoapStat->text(), "<empty>");

    // A document with both separators; the URL follows its header.
    for (const QByteArray document :
         {"POST /a HTTP/1.1\r\nHost: 10.0.0.8\r\n\r\nbody", "POST /a HTTP/1.1\nHost: 10.0.0.8\n\nbody"}) {
        w->txtSOAP_URL->clear();
        w->txtSoapIP->clear();
        w->SetSoapDocument(document);
        EXPECT_EQ(w->mSoapHead->toPlainText(), "POST /a HTTP/1.1\nHost: 10.0.0.8\nContent-length: length");
        EXPECT_EQ(w->FSoapBody, "body");
        EXPECT_EQ(w->lblSoapStat->text(), "4 B");
        EXPECT_EQ(w->txtSOAP_URL->text(), "http://10.0.0.8/a");
        EXPECT_FALSE(w->FSoapSyncLock);
    }
    EXPECT_TRUE(boxes.empty());

    // No separator at all (CR-only lines): kept as the body, header from the
    // URL, and the operator is told.
    const QByteArray crOnly = "POST /b HTTP/1.1\rHost: h\r\r<x/>";
    w->SetSoapDocument(crOnly);
    EXPECT_EQ(w->FSoapBody, crOnly);
    EXPECT_EQ(w->mSoapHead->toPlainText(), "POST /a HTTP/1.1\nHost: 10.0.0.8" + DefaultTail);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].flags, 48u);

    // Unedited documents come back byte for byte, in either encoding.
    const QByteArray utf8 = "POST /s HTTP/1.1\r\nHost: h\r\nX-N: \xC5\x88\r\n\r\n<a>\xC5\x88\xC5\xA1</a>\r\n";
    const QByteArray cp1250 = "POST /s HTTP/1.1\r\nHost: h\r\nX-N: \xF2\r\n\r\n<a>\xF2\x8A\x81</a>\n";
    for (const QByteArray& doc : {utf8, cp1250}) {
        w->SetSoapDocument(doc);
        EXPECT_EQ(w->mSoapHead->toPlainText().section(u'\n', 2, 2), Utf("X-N: ň"));
        EXPECT_EQ(w->BuildSoapDocument(true), doc);
    }
}

TEST_F(SoapTest, HeaderIsReadBackAndFollowsTheUrl)
{
    w->mSoapHead->setPlainText("POST /a HTTP/1.1\nHost:10.0.0.8 \n\n and more\nContent-Length: 10\n"
                               "content-LENGTH: 5\nX");
    EXPECT_EQ(w->GetSoapHeader(), "POST /a HTTP/1.1\r\nHost: 10.0.0.8\r\n and more\r\nX");
    EXPECT_EQ(w->GetSoapHeaderHost(), "10.0.0.8");

    // Only a version that is there comes off the request path.
    const std::pair<const char*, const char*> paths[] = {
        {"POST /Sensors.asmx HTTP/1.1", "/Sensors.asmx"}, {"POST /Sensors.asmx", "/Sensors.asmx"},
        {"POST /a HTTP/1.1  ", "/a"}, {"post /x http/1.0", "/x"}, {"Host: x", ""}};
    for (const auto& [line, path] : paths) {
        w->mSoapHead->setPlainText(QString::fromUtf8(line));
        EXPECT_EQ(w->GetSoapPostPath(), path) << line;
    }

    w->FSoapSyncLock = true; // the URL is not to follow these headers
    w->mSoapHead->setPlainText("Content-Type: x");
    w->txtSOAP_URL->setText("http://0.0.0.0/x");
    w->SyncSoapHeaderFromURL();
    EXPECT_EQ(w->mSoapHead->toPlainText(), "POST /x HTTP/1.1\nHost: 0.0.0.0\nContent-Type: x");
    EXPECT_TRUE(w->FSoapSyncLock);

    w->mSoapHead->setPlainText("POST /old HTTP/1.1\nHost: old\nHost: old2");
    w->SyncSoapHeaderFromURL();
    EXPECT_EQ(w->mSoapHead->toPlainText(), "POST /x HTTP/1.1\nHost: old\nHost: old2");
    w->txtSOAP_URL->setText("http://srv:8080/p/q");
    w->SyncSoapHeaderFromURL();
    EXPECT_EQ(w->mSoapHead->toPlainText(), "POST /p/q HTTP/1.1\nHost: srv\nHost: srv");

    // A URL that cannot be read changes nothing.
    w->txtSOAP_URL->setText("https://srv/p");
    EXPECT_EQ(ExceptionText([&] { w->SyncSoapHeaderFromURL(); }), "Invalid HTTP prefix https://");
    EXPECT_EQ(w->mSoapHead->toPlainText(), "POST /p/q HTTP/1.1\nHost: srv\nHost: srv");
}

TEST_F(SoapTest, TheButtonResolvesTheServerIntoTheIpField)
{
    w->SoapResolveHost = [](const QString& name) { return name == "known" ? uint32_t(StrToIPAddr("10.1.2.3")) : 0u; };
    for (const char* url : {"http://known/s", "http://gone/s", "ftp://x"}) {
        w->txtSOAP_URL->setText(url);
        w->cmdSoap_GIPClick();
        EXPECT_EQ(w->txtSoapIP->text(), "10.1.2.3") << url;
    }
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, Utf("Server gone je momentálně nedostupný. Prosím vyplňte ručně IP adresu."));
    EXPECT_EQ(boxes[1].text, "Invalid HTTP prefix ftp://");
    EXPECT_EQ(std::pair(boxes[0].flags, boxes[1].flags), std::pair(16u, 16u));
}

TEST_F(SoapTest, FilesAreLimitedBeforeTheyAreReadAndTakenInByTheirType)
{
    const QString name = dir.filePath("doc.xml");
    WriteFile(name, QByteArray(65500, 'a'));
    LoadFile(*w, name, 1);
    EXPECT_EQ(w->lblSoapStat->text(), "65500 B");

    w->chEditSoapDoc->setChecked(true);
    WriteFile(name, QByteArray(65501, 'b'));
    EXPECT_EQ(ExceptionText([&] { LoadFile(*w, name, 1); }), TooLarge);
    EXPECT_EQ(w->FSoapBody, QByteArray(65500, 'a'));
    EXPECT_TRUE(w->chEditSoapDoc->isChecked());

    // A pipe has no size and would never end: refused without opening it.
    const QString fifo = dir.filePath("pipe");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_TRUE(ExceptionText([&] { LoadFile(*w, fifo, 1); }).startsWith(Utf("Chyba při čtení souboru")));
    EXPECT_EQ(w->FSoapBody.size(), 65500);

    // The whole document must fit one image block.
    w->mSoapHead->setPlainText("POST / HTTP/1.1"); // 15 bytes + 4 of separator
    w->SetSoapBody(QByteArray(65535 - 19, 'c'));
    EXPECT_EQ(w->BuildSoapDocument(true).size(), 65535);
    w->SetSoapBody(QByteArray(65536 - 19, 'c'));
    EXPECT_EQ(ExceptionText([&] { w->BuildSoapDocument(true); }), TooLarge);

    w->SetSoapBody(QByteArray());
    EXPECT_TRUE(w->BuildSoapDocument(true).isEmpty());
    EXPECT_EQ(w->BuildSoapDocument(false), "POST / HTTP/1.1\r\n\r\n");

    // A document with header: its URL, or the one typed, is kept.
    WriteFile(name, "POST /doc HTTP/1.1\r\nHost: dochost\r\nContent-Length: 9\r\n\r\n<b/>");
    w->chEditSoapDoc->setChecked(true);
    LoadFile(*w, name, 2);
    EXPECT_FALSE(w->chEditSoapDoc->isChecked());
    EXPECT_EQ(w->txtSOAP_URL->text(), "http://dochost/doc");
    EXPECT_EQ(w->BuildSoapDocument(true), "POST /doc HTTP/1.1\r\nHost: dochost\r\n\r\n<b/>");

    w->txtSOAP_URL->setText("http://mine:81");
    LoadFile(*w, name, 2);
    EXPECT_EQ(w->txtSOAP_URL->text(), "http://mine:81/doc");
    EXPECT_EQ(w->GetSoapHeaderHost(), "mine");

    // Other entries take the file as the body only.
    LoadFile(*w, name, 3);
    EXPECT_EQ(w->GetSoapHeaderHost(), "mine");
    EXPECT_TRUE(w->FSoapBody.startsWith("POST /doc"));
}

TEST_F(SoapTest, TheBodyIsEditedInEditModeOnlyAndKeepsItsEncoding)
{
    ASSERT_TRUE(ShowDocumentPage(*w));
    w->SetSoapDocument("POST / HTTP/1.1\r\nHost: h\r\n\r\n<t>\x8A</t>");

    // Without edit mode or focus the buttons insert nothing.
    EXPECT_TRUE(w->mSoapDoc->isReadOnly());
    EXPECT_FALSE(w->pnlEditSoapDoc->isVisibleTo(w.get()));
    w->mSoapHead->setFocus();
    w->imgDocIT->click();
    EXPECT_EQ(w->FSoapBody, "<t>\x8A</t>");

    w->chEditSoapDoc->setChecked(true);
    EXPECT_FALSE(w->mSoapDoc->isReadOnly());
    EXPECT_TRUE(w->pnlEditSoapDoc->isVisibleTo(w.get()));
    w->mSoapDoc->setFocus();
    EXPECT_TRUE(w->imgDocIT->isVisibleTo(w.get()));
    QTextCursor cursor = w->mSoapDoc->textCursor();
    cursor.setPosition(3);
    cursor.setPosition(4, QTextCursor::KeepAnchor);
    w->mSoapDoc->setTextCursor(cursor);
    QTest::mouseClick(w->imgDocIT, Qt::LeftButton);
    EXPECT_EQ(w->FSoapBody, "<t><%val0%></t>");
    QTest::mouseClick(w->imgDocIG, Qt::LeftButton);
    EXPECT_TRUE(w->mSoapDoc->hasFocus());
    // Typed text is encoded as the document was, with CR LF.
    w->mSoapDoc->moveCursor(QTextCursor::End);
    w->mSoapDoc->insertPlainText(Utf("ř"));
    QTest::keyClick(w->mSoapDoc, Qt::Key_Return);
    EXPECT_EQ(w->FSoapBody, "<t><%val0%><%guid%></t>\xF8\r\n");
    EXPECT_EQ(w->lblSoapStat->text(), "26 B");

    w->mSoapHead->setFocus();
    EXPECT_FALSE(w->imgDocIT->isVisibleTo(w.get()));

    answer = platform::IDNO;
    w->cmdDelSoapClick();
    EXPECT_FALSE(w->FSoapBody.isEmpty());
    answer = platform::IDYES;
    w->cmdDelSoapClick();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "Opravdu chcete vymazat SOAP dokument?");
    EXPECT_EQ(boxes[1].flags, 36u);
    EXPECT_TRUE(w->FSoapBody.isEmpty());
    EXPECT_EQ(w->lblSoapStat->text(), "<empty>");
    EXPECT_EQ(w->GetSoapHeaderHost(), "h");
}

// What counts as the operator's change of the document: only such a change
// may replace a document the device holds but the load could not fetch.
TEST_F(SoapTest, TheOperatorsOwnChangesAreTold)
{
    ASSERT_TRUE(ShowDocumentPage(*w));
    const QString file = dir.filePath("doc.xml");
    WriteFile(file, "POST /f HTTP/1.1\r\nHost: h\r\n\r\n<f/>");
    const auto type = [&](QWidget* into, const char* text) {
        into->setFocus();
        QTest::keyClicks(into, text);
    };
    // Typed over the URL, then Enter or the "@" button.
    const auto typeURL = [&](const char* url, bool enter) {
        w->ShowPage(w->pnlSOAP, true);
        w->txtSOAP_URL->selectAll();
        type(w->txtSOAP_URL, url);
        enter ? QTest::keyClick(w->txtSOAP_URL, Qt::Key_Return) : w->cmdSoap_GIPClick();
    };
    const auto deleteBody = [&](int button) {
        answer = button;
        w->cmdDelSoapClick();
    };
    const struct {
        const char* name;
        std::function<void()> act;
        bool edited;
    } rows[] = {
        {"nothing", [] {}, false},
        {"header typed", [&] { type(w->mSoapHead, "X-A: 1"); }, true},
        {"body typed in edit mode", [&] { w->chEditSoapDoc->setChecked(true), type(w->mSoapDoc, "<x/>"); }, true},
        {"body typed while read-only", [&] { type(w->mSoapDoc, "<x/>"); }, false},
        {"file as the body", [&] { LoadFile(*w, file, 1); }, true},
        {"file with its header", [&] { LoadFile(*w, file, 2); }, true},
        {"body deleted", [&] { deleteBody(platform::IDYES); }, true},
        {"deletion declined", [&] { deleteBody(platform::IDNO); }, false},
        {"URL path typed, Enter", [&] { typeURL("http://10.0.0.7/b", true); }, true},
        {"URL host typed, the button", [&] { typeURL("http://10.0.0.8/", false); }, true},
        {"URL port typed, Enter", [&] { typeURL("http://10.0.0.7:8080/", true); }, false},
        {"URL set by the program", [&] { w->txtSOAP_URL->setText("http://10.0.0.9/c"), w->cmdChngSoapClick(); }, false},
        {"header typed, then a document taken in",
         [&] { type(w->mSoapHead, "X"), w->SetSoapDocument("POST /d HTTP/1.1\r\nHost: h\r\n\r\n<d/>"); }, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        w->chEditSoapDoc->setChecked(false);
        w->chEnableSOAP->setChecked(true);
        w->txtSOAP_URL->setText("http://10.0.0.7/a");
        w->ShowPage(w->pnlSoapDoc, true);
        w->SetSoapDocument({});
        w->SetSoapBody("<b/>");
        // The empty document's request line, and the URL follows it.
        ASSERT_EQ(w->mSoapHead->toPlainText().section(u'\n', 0, 1), "POST / HTTP/1.1\nHost: 10.0.0.7");
        ASSERT_EQ(w->txtSOAP_URL->text(), "http://10.0.0.7/");
        ASSERT_FALSE(w->FSoapDocEdited);
        const QByteArray before = w->BuildSoapDocument(false);
        row.act();
        EXPECT_EQ(w->FSoapDocEdited, row.edited);
        // Each change that counts is one the document shows.
        if (row.edited) {
            EXPECT_NE(w->BuildSoapDocument(false), before);
        }
    }
}

// The hidden header grid and its two pop-up commands.
TEST_F(SoapTest, TheHeaderGridAddsAndDeletesRowsAndStaysOutOfTheDocument)
{
    QTableView* grid = w->sgSoapHeader;
    // Beneath the header memo, with its pop-up menu.
    const QObjectList& siblings = w->pnlSoapDoc->children();
    EXPECT_LT(siblings.indexOf(grid), siblings.indexOf(w->mSoapHead));
    EXPECT_EQ(w->pmSoapHeader->actions(), (QList<QAction*>{w->Pidatdek1, w->Odstranitdek1}));
    EXPECT_EQ(w->Pidatdek1->text() + u'/' + w->Odstranitdek1->text(), Utf("Přidat řádek/Odstranit řádek"));

    w->SetSoapDocument("POST /a HTTP/1.1\r\nHost: h\r\n\r\n<a/>");
    const QByteArray document = w->BuildSoapDocument(true);
    QAbstractItemModel* cells = grid->model();
    ASSERT_EQ(cells->rowCount(), 1);
    const auto rows = [&] {
        QStringList texts;
        for (int r = 0; r < cells->rowCount(); ++r)
            texts << cells->index(r, 0).data().toString() + u'|' + cells->index(r, 1).data().toString();
        return texts;
    };
    for (int r = 0; r < 3; ++r) {
        if (r > 0)
            w->Pidatdek1->trigger();
        for (int c = 0; c < 2; ++c)
            cells->setData(cells->index(r, c), QStringLiteral("%1%2").arg(QChar(u'a' + r)).arg(c));
    }
    w->Pidatdek1->trigger();
    EXPECT_EQ(rows(), (QStringList{"a0|a1", "b0|b1", "c0|c1", "|"}));

    const struct {
        int selected;
        QStringList left;
    } deletions[] = {
        {1, {"a0|a1", "c0|c1", "|"}}, {2, {"a0|a1", "c0|c1"}}, {0, {"c0|c1"}}, {-1, {"c0|c1"}}, {0, {}}};
    for (const auto& d : deletions) {
        grid->setCurrentIndex(d.selected < 0 ? QModelIndex() : cells->index(d.selected, 1));
        w->Odstranitdek1->trigger();
        EXPECT_EQ(rows(), d.left) << d.selected;
    }

    // Never shown, and the document does not read it.
    ASSERT_TRUE(ShowDocumentPage(*w));
    EXPECT_TRUE(w->mSoapHead->isVisible() && !grid->isVisible());
    EXPECT_EQ(w->BuildSoapDocument(true), document);
    EXPECT_FALSE(w->FSoapDocEdited);

    // The texts of the shipped file, looked up as the menu opens.
    Language.LoadFromFile(QString::fromUtf8(__FILE__).section(u'/', 0, -4) + QStringLiteral("/resources/english.lng"));
    emit w->pmSoapHeader->aboutToShow();
    EXPECT_EQ(w->Pidatdek1->text() + u'/' + w->Odstranitdek1->text(), "Add row/Delete row");
}
