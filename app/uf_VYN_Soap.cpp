// The SOAP document pages.
#include "app/uf_VYN.h"

#include "app/MyUtils.h"
#include "app/Panel.h"
#include "app/VYN16App.h"
#include "app/uConst.h"
#include "app/uf_VYN_PageKit.h"
#include "app/ufrm_Tlacitko.h"
#include "lang/uLanguage.h"
#include "platform/Exception.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStandardItemModel>
#include <QTableView>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

#include <cerrno>
#include <exception>
#include <limits>

namespace {

const QString ValPlaceholder = QStringLiteral("<%val0%>");
const QString GuidPlaceholder = QStringLiteral("<%guid%>");

// A placeholder button: its own drawn mark, and no focus, so that the body
// memo keeps the caret while it is clicked.
class TPlaceholderButton : public QAbstractButton
{
public:
    TPlaceholderButton(QWidget* Parent, const QString& Name, const QString& Mark, const QColor& Color)
        : QAbstractButton(Parent), FMark(Mark), FColor(Color)
    {
        setObjectName(Name);
        setFocusPolicy(Qt::NoFocus);
        setCursor(Qt::PointingHandCursor);
        setFixedSize(28, 28);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
        p.setPen(QPen(FColor.darker(isDown() ? 160 : 130), 1.5));
        p.setBrush(underMouse() ? FColor.lighter(115) : FColor);
        p.drawRoundedRect(r, 4, 4);
        QFont f = font();
        f.setBold(true);
        f.setPixelSize(11);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(r, Qt::AlignCenter, FMark);
    }

private:
    QString FMark;
    QColor FColor;
};

// Focus changes of the body memo.
class TFocusWatch : public QObject
{
public:
    TFocusWatch(QObject* Parent, std::function<void()> In, std::function<void()> Out)
        : QObject(Parent), FIn(std::move(In)), FOut(std::move(Out))
    {
    }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        if (Event->type() == QEvent::FocusIn)
            FIn();
        else if (Event->type() == QEvent::FocusOut)
            FOut();
        return QObject::eventFilter(Watched, Event);
    }

private:
    std::function<void()> FIn;
    std::function<void()> FOut;
};

QLabel* MakeLabel(QWidget* Parent, const QString& Name, const QString& Text)
{
    auto* label = new QLabel(Text, Parent);
    label->setObjectName(Name);
    return label;
}

QPlainTextEdit* MakeMemo(QWidget* Parent, const QString& Name)
{
    auto* memo = new QPlainTextEdit(Parent);
    memo->setObjectName(Name);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return memo;
}

} // namespace

void TfVYN::BuildSoapPages()
{
    using namespace pagekit;

    // The SOAP page, laid out as the other sending pages.
    QGridLayout* grid = PageGrid(pnlSOAP);
    grid->addWidget(Heading(pnlSOAP, QStringLiteral("lblSoapParams"), QStringLiteral("Parametry")), 0, 0, 1, 2);
    chEnableSOAP = Check(pnlSOAP, QStringLiteral("chEnableSOAP"), QStringLiteral("Zasílání teploty přes SOAP"));
    grid->addWidget(chEnableSOAP, 1, 0, 1, 2);
    txtSOAP_URL = Edit(pnlSOAP, QStringLiteral("txtSOAP_URL"));
    cmdSoap_GIP = AtButton(pnlSOAP, QStringLiteral("cmdSoap_GIP"), AtHint);
    grid->addWidget(Label(pnlSOAP, QStringLiteral("lblSoapURL"), QStringLiteral("URL cesta")), 2, 0);
    auto* urlRow = new QHBoxLayout;
    urlRow->setSpacing(4);
    urlRow->addWidget(txtSOAP_URL, 1);
    urlRow->addWidget(cmdSoap_GIP);
    grid->addLayout(urlRow, 2, 1);
    txtSoapIP = Edit(pnlSOAP, QStringLiteral("txtSoapIP"));
    grid->addWidget(Label(pnlSOAP, QStringLiteral("lblSoapIP"), QStringLiteral("IP adresa serveru")), 3, 0);
    grid->addLayout(Row(txtSoapIP), 3, 1);
    grid->addWidget(SharedMark(pnlSOAP, QStringLiteral("imgSendingShared3"), SendingHint), 4, 1, Qt::AlignLeft);
    seInterval3 = Spin(pnlSOAP, QStringLiteral("seInterval3"), 2, 3600, 10);
    grid->addWidget(Label(pnlSOAP, QStringLiteral("lblInterval3"), QStringLiteral("Perioda zasílání (sec)")), 5, 0);
    grid->addLayout(Row(seInterval3), 5, 1);
    txtID2 = Edit(pnlSOAP, QStringLiteral("txtID2"));
    txtID2->setMaxLength(40);
    grid->addWidget(Label(pnlSOAP, QStringLiteral("lblID2"), QStringLiteral("GUID")), 6, 0);
    grid->addWidget(txtID2, 6, 1);

    grid->addWidget(Heading(pnlSOAP, QStringLiteral("lblSoapDocHeading"), QStringLiteral("SOAP dokument")), 7, 0, 1, 2);
    lblSoapStat = Label(pnlSOAP, QStringLiteral("lblSoapStat"), QString());
    cmdChngSoap = MakeFrame<TfrmTlacitko>(pnlSOAP, QStringLiteral("cmdChngSoap"), QStringLiteral("Nastavit"),
                                          QString(), QSize(110, 22));
    // The symbol font's box-with-a-cross, drawn from a font we have.
    cmdDelSoap = MakeFrame<TfrmTlacitko>(pnlSOAP, QStringLiteral("cmdDelSoap"), QString(QChar(0x2327)),
                                         QStringLiteral("Odstranit dokument"), QSize(22, 22));
    grid->addWidget(lblSoapStat, 8, 0);
    grid->addLayout(Row(cmdChngSoap, cmdDelSoap), 8, 1);
    grid->setRowStretch(9, 1);

    for (QWidget* control : std::initializer_list<QWidget*>{txtSOAP_URL, cmdSoap_GIP, txtSoapIP, cmdChngSoap, cmdDelSoap})
        control->setEnabled(false);

    // The document page.
    auto* page = new QVBoxLayout(pnlSoapDoc);
    page->setContentsMargins(12, 8, 12, 12);
    page->setSpacing(6);
    auto* top = new QHBoxLayout;
    auto* title = MakeLabel(pnlSoapDoc, QStringLiteral("lblSoapDocTitle"), QStringLiteral("Struktura SOAP dokumentu"));
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
    top->addWidget(title, 1);
    cmdSoapDocBack = MakeFrame<TfrmTlacitko>(pnlSoapDoc, QStringLiteral("cmdSoapDocBack"), QStringLiteral("Zpět"),
                                             QString(), QSize(90, 22));
    top->addWidget(cmdSoapDocBack);
    page->addLayout(top);

    page->addWidget(MakeLabel(pnlSoapDoc, QStringLiteral("lblSoapHead"), QStringLiteral("Hlavička")));
    auto* headRow = new QHBoxLayout;
    mSoapHead = MakeMemo(pnlSoapDoc, QStringLiteral("mSoapHead"));
    mSoapHead->setFixedHeight(96);
    mSoapHead->setPlainText(SoapHeaderSet(true).join(u'\n'));
    // The header grid lies under the memo, in the same place, and stays
    // hidden.
    sgSoapHeader = new QTableView(pnlSoapDoc);
    sgSoapHeader->setObjectName(QStringLiteral("sgSoapHeader"));
    sgSoapHeader->setModel(new QStandardItemModel(1, 2, sgSoapHeader));
    sgSoapHeader->horizontalHeader()->hide();
    sgSoapHeader->horizontalHeader()->setStretchLastSection(true);
    sgSoapHeader->setContextMenuPolicy(Qt::CustomContextMenu);
    sgSoapHeader->hide();
    pmSoapHeader = new QMenu(sgSoapHeader);
    pmSoapHeader->setObjectName(QStringLiteral("pmSoapHeader"));
    Pidatdek1 = pmSoapHeader->addAction(QString());
    Pidatdek1->setObjectName(QStringLiteral("Pidatdek1"));
    Odstranitdek1 = pmSoapHeader->addAction(QString());
    Odstranitdek1->setObjectName(QStringLiteral("Odstranitdek1"));
    const auto menuTexts = [this] {
        Pidatdek1->setText(Lang("Pidatdek1", "Přidat řádek"));
        Odstranitdek1->setText(Lang("Odstranitdek1", "Odstranit řádek"));
    };
    menuTexts();
    // A pop-up menu is no control of the language files: its texts are
    // looked up as it opens.
    connect(pmSoapHeader, &QMenu::aboutToShow, this, menuTexts);
    auto* headCell = new QGridLayout;
    headCell->setContentsMargins(0, 0, 0, 0);
    headCell->addWidget(sgSoapHeader, 0, 0);
    headCell->addWidget(mSoapHead, 0, 0);
    sgSoapHeader->stackUnder(mSoapHead);
    headRow->addLayout(headCell, 1);
    cmdLoadSoap = MakeFrame<TfrmTlacitko>(pnlSoapDoc, QStringLiteral("cmdLoadSoap"), QStringLiteral("Načíst ..."),
                                          QString(), QSize(90, 22));
    headRow->addWidget(cmdLoadSoap, 0, Qt::AlignTop);
    page->addLayout(headRow);

    auto* docHead = new QHBoxLayout;
    docHead->addWidget(MakeLabel(pnlSoapDoc, QStringLiteral("lblSoapDocument"), QStringLiteral("Dokument")));
    docHead->addWidget(MakeLabel(pnlSoapDoc, QStringLiteral("lblSoapPreview"), QStringLiteral("Náhled dokumentu")), 1);
    chEditSoapDoc = new QCheckBox(QStringLiteral("Upravit"), pnlSoapDoc);
    chEditSoapDoc->setObjectName(QStringLiteral("chEditSoapDoc"));
    docHead->addWidget(chEditSoapDoc);
    page->addLayout(docHead);

    auto* bodyRow = new QHBoxLayout;
    bodyRow->setSpacing(0);
    mSoapDoc = MakeMemo(pnlSoapDoc, QStringLiteral("mSoapDoc"));
    mSoapDoc->setReadOnly(true);
    bodyRow->addWidget(mSoapDoc, 1);
    pnlEditSoapDoc = new TPanel(pnlSoapDoc, QStringLiteral("pnlEditSoapDoc"), clLMenuNormal);
    pnlEditSoapDoc->setFixedWidth(36);
    const auto placeholder = [this](const QString& shapeName, const QString& shapeHint, const QString& name,
                                    const QString& mark, const QString& hint, const QColor& color, int y) {
        auto* shape = new QFrame(pnlEditSoapDoc);
        shape->setObjectName(shapeName);
        shape->setFrameShape(QFrame::Box);
        shape->setToolTip(shapeHint);
        shape->setGeometry(2, y, 32, 32);
        auto* button = new TPlaceholderButton(pnlEditSoapDoc, name, mark, color);
        button->setToolTip(hint);
        button->move(4, y + 2);
        button->hide();
        return std::make_pair(static_cast<QWidget*>(shape), static_cast<QAbstractButton*>(button));
    };
    std::tie(shpDocIT, imgDocIT) =
        placeholder(QStringLiteral("shpDocIT"),
                    QStringLiteral("Označte v dokumentu místo, kde má být vložena aktuální teplota"),
                    QStringLiteral("imgDocIT"), QString::fromUtf8("°C"),
                    QStringLiteral("Vložit do dokumentu aktuální teplotu"), QColor(0xC0, 0x40, 0x30), 4);
    std::tie(shpDocIG, imgDocIG) =
        placeholder(QStringLiteral("shpDocIG"),
                    QStringLiteral("Označte v dokumentu místo, kam má být vloženo GUID zařízení"),
                    QStringLiteral("imgDocIG"), QStringLiteral("ID"), QStringLiteral("Vložit do dokumentu GUID zařízení"),
                    QColor(0x30, 0x60, 0xB0), 40);
    pnlEditSoapDoc->hide();
    bodyRow->addWidget(pnlEditSoapDoc);
    page->addLayout(bodyRow, 1);

    // Events.
    connect(chEnableSOAP, &QCheckBox::toggled, this, [this] { Guarded([this] { chEnableSOAPClick(); }); });
    connect(txtSOAP_URL, &QLineEdit::returnPressed, this, [this] { Guarded([this] { cmdSoap_GIPClick(); }); });
    connect(txtSoapIP, &QLineEdit::returnPressed, this, [this] { Guarded([this] { cmdSoap_GIPClick(); }); });
    cmdSoap_GIP->OnClick = [this](QObject*) { Guarded([this] { cmdSoap_GIPClick(); }); };
    cmdChngSoap->OnClick = [this](QObject*) { Guarded([this] { cmdChngSoapClick(); }); };
    cmdDelSoap->OnClick = [this](QObject*) { Guarded([this] { cmdDelSoapClick(); }); };
    cmdSoapDocBack->OnClick = [this](QObject*) { Guarded([this] { cmdSoapDocBackClick(); }); };
    cmdLoadSoap->OnClick = [this](QObject*) { Guarded([this] { cmdLoadSoapClick(); }); };
    // Typing adds to the memo's undo history; the program's own texts,
    // set whole, do not.
    connect(mSoapHead->document(), &QTextDocument::undoCommandAdded, this, [this] { FSoapDocEdited = true; });
    connect(mSoapHead, &QPlainTextEdit::textChanged, this, [this] { Guarded([this] { mSoapHeadChange(); }); });
    connect(mSoapDoc, &QPlainTextEdit::textChanged, this, [this] { Guarded([this] { mSoapDocChange(); }); });
    connect(chEditSoapDoc, &QCheckBox::toggled, this, [this] { Guarded([this] { chEditSoapDocClick(); }); });
    connect(imgDocIT, &QAbstractButton::clicked, this, [this] { Guarded([this] { imgDocITClick(); }); });
    connect(imgDocIG, &QAbstractButton::clicked, this, [this] { Guarded([this] { imgDocIGClick(); }); });
    connect(sgSoapHeader, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { pmSoapHeader->popup(sgSoapHeader->viewport()->mapToGlobal(at)); });
    connect(Pidatdek1, &QAction::triggered, this, [this] { Guarded([this] { Pidatdek1Click(); }); });
    connect(Odstranitdek1, &QAction::triggered, this, [this] { Guarded([this] { Odstranitdek1Click(); }); });
    mSoapDoc->installEventFilter(
        new TFocusWatch(mSoapDoc, [this] { mSoapDocEnter(); }, [this] { mSoapDocExit(); }));
}
void TfVYN::chEnableSOAPClick()
{
    const bool on = chEnableSOAP->isChecked();
    for (QWidget* control : std::initializer_list<QWidget*>{txtSOAP_URL, txtSoapIP, cmdSoap_GIP, cmdChngSoap, cmdDelSoap})
        control->setEnabled(on);
}

void TfVYN::cmdSoap_GIPClick()
{
    try {
        QString host;
        uint16_t port = 0;
        QString path;
        ParseURL(txtSOAP_URL->text(), host, port, path);
        bool resolved = true;
        if (!host.isEmpty()) {
            uint32_t ip = 0;
            if (TryStrictStrToIP(host, ip)) {
                host = IPAddrToStr(ip);
            } else {
                QGuiApplication::setOverrideCursor(Qt::WaitCursor);
                try {
                    ip = SoapResolveHost ? SoapResolveHost(host) : TARPManager::ResolveHostName(host);
                } catch (...) {
                    ip = 0;
                }
                QGuiApplication::restoreOverrideCursor();
                resolved = ip != 0;
                if (resolved)
                    host = IPAddrToStr(ip);
            }
        }
        if (resolved) {
            txtSoapIP->setText(host);
        } else {
            txtSoapIP->setFocus();
            ShowMessageBox(Language.GetText(QStringLiteral("ServersJeMomenta"),
                                            QStringLiteral("Server %s je momentálně nedostupný. Prosím vyplňte "
                                                           "ručně IP adresu."))
                               .replace(QStringLiteral("%s"), host),
                           16, QString(), this);
        }
    } catch (const std::exception& e) {
        const auto* error = dynamic_cast<const Exception*>(&e);
        ShowMessageBox(error ? error->Message() : QString::fromLocal8Bit(e.what()), 16, QString(), this);
        // The URL that could not be read would only fail again.
        return;
    }
    SyncSoapHeaderFromURL();
}

void TfVYN::cmdChngSoapClick()
{
    ShowPage(pnlSoapDoc, true);
    SyncSoapHeaderFromURL();
}

void TfVYN::cmdSoapDocBackClick()
{
    ShowPage(pnlSOAP, true);
}

void TfVYN::cmdLoadSoapClick()
{
    QString fileName;
    int filter = 1;
    if (odSoapExecute) {
        if (!odSoapExecute(fileName, filter))
            return;
    } else {
        QFileDialog dialog(this);
        dialog.setObjectName(QStringLiteral("odSoap"));
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setDefaultSuffix(QStringLiteral("xml"));
        // "*.*" would hide names without a dot here.
        const QStringList filters = {QStringLiteral("XML (*.xml)"), QStringLiteral("Document with header (*)"),
                                     QStringLiteral("*.* (*)")};
        dialog.setNameFilters(filters);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return;
        fileName = dialog.selectedFiles().first();
        filter = int(filters.indexOf(dialog.selectedNameFilter())) + 1;
    }

    // The size is known before anything is read; a pipe or a device has
    // none and is refused rather than read without end.
    const qint64 size = GetFileSizeByName(fileName);
    if (size < 0 && QFileInfo::exists(fileName))
        throw Exception(QStringLiteral("Chyba při čtení souboru ") + fileName + QStringLiteral("\r\n") +
                        SysErrorText(EINVAL));
    CheckSoapFileSize(size);
    const QByteArray text = ReadFileToString(fileName, true);
    CheckSoapFileSize(text.size());

    chEditSoapDoc->setChecked(false);

    if (filter == 2) {
        const QString url = txtSOAP_URL->text();
        QString host;
        uint16_t port = 0;
        QString path;
        ParseURL(url, host, port, path);
        SetSoapDocument(text);
        SetSoapHeader(GetSoapHeader());
        if (!url.isEmpty()) {
            if (host.isEmpty())
                host = GetSoapHeaderHost();
            if (path.isEmpty())
                path = GetSoapPostPath();
            txtSOAP_URL->setText(BuildURL(host, port, path));
            SyncSoapHeaderFromURL();
            mSoapHeadChange();
        }
    } else {
        SetSoapBodyFromFile(text);
    }
    FSoapDocEdited = true;
}

void TfVYN::cmdDelSoapClick()
{
    if (ShowMessageBox(Language.GetText(QStringLiteral("DelSoapDocQ"),
                                        QStringLiteral("Opravdu chcete vymazat SOAP dokument?")),
                       36, QString(), this) == 6) {
        SetSoapBody(QByteArray());
        FSoapDocEdited = true;
        FSoapDocDeleted = true;
    }
}

void TfVYN::Pidatdek1Click()
{
    auto* model = static_cast<QStandardItemModel*>(sgSoapHeader->model());
    model->setRowCount(model->rowCount() + 1);
}

void TfVYN::Odstranitdek1Click()
{
    auto* model = static_cast<QStandardItemModel*>(sgSoapHeader->model());
    const int row = sgSoapHeader->currentIndex().row();
    if (row < 0 || row >= model->rowCount())
        return;
    for (int r = row; r + 1 < model->rowCount(); ++r)
        for (int c = 0; c < model->columnCount(); ++c)
            model->setData(model->index(r, c), model->index(r + 1, c).data());
    model->setRowCount(model->rowCount() - 1);
}
void TfVYN::mSoapDocEnter()
{
    imgDocIT->show();
    imgDocIG->show();
}

void TfVYN::mSoapDocExit()
{
    imgDocIT->hide();
    imgDocIG->hide();
}

void TfVYN::chEditSoapDocClick()
{
    const bool on = chEditSoapDoc->isChecked();
    // The panel sits at the memo's right edge; the layout narrows the memo.
    pnlEditSoapDoc->setVisible(on);
    mSoapDoc->setReadOnly(!on);
}

void TfVYN::imgDocITClick()
{
    if (mSoapDoc->hasFocus())
        mSoapDoc->textCursor().insertText(ValPlaceholder);
}

void TfVYN::imgDocIGClick()
{
    if (mSoapDoc->hasFocus())
        mSoapDoc->textCursor().insertText(GuidPlaceholder);
}

void TfVYN::HTTPWorkBegin(bool Reading, int64_t Total)
{
    try {
        if (!Reading || !FProgressBar)
            return;
        FProgressBar->setMinimum(0);
        // An unknown size must not turn the bar into a busy indicator.
        if (Total > 0)
            FProgressBar->setMaximum(int(qMin<int64_t>(Total, std::numeric_limits<int>::max())));
        ShowProgress(0);
    } catch (...) {
    }
}

void TfVYN::HTTPWork(bool Reading, int64_t Count)
{
    try {
        if (!Reading || !FProgressBar)
            return;
        ShowProgress(int(qMin<int64_t>(Count, FProgressBar->maximum())));
    } catch (...) {
    }
}

void TfVYN::HTTPWorkEnd(bool Reading)
{
    try {
        if (!Reading || !FProgressBar)
            return;
        ShowProgress(FProgressBar->maximum());
    } catch (...) {
    }
}

void TfVYN::ShowProgress(int Value)
{
    // The bar would paint itself at once on a visible change.
    FProgressBar->setUpdatesEnabled(false);
    FProgressBar->setValue(Value);
    FProgressBar->setUpdatesEnabled(true);
    constexpr qint64 FrameMs = 16;
    if (FProgressPainted.isValid() && FProgressPainted.elapsed() < FrameMs) {
        FProgressBar->update();
        return;
    }
    FProgressBar->repaint();
    FProgressPainted.start();
}

platform::TransferEvents TfVYN::SoapTransferEvents(bool Reading)
{
    platform::TransferEvents events;
    events.OnWorkBegin = [this, Reading](int64_t total) { HTTPWorkBegin(Reading, total); };
    events.OnWork = [this, Reading](int64_t count) { HTTPWork(Reading, count); };
    events.OnWorkEnd = [this, Reading] { HTTPWorkEnd(Reading); };
    return events;
}
