#include "windows/importwindows.h"

#include "controls/dialogbuttons.h"
#include "controls/filedialog.h"
#include "controls/messagebox.h"
#include "core/data/datamodule.h"
#include "core/data/fileguard.h"
#include "core/export/sha256.h"
#include "core/import/importprofile.h"
#include "windows/importtools.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace bankprep {

TextImportWindow::TextImportWindow(TDataModule2& dm, const QString& title, QWidget* parent)
    : QDialog(parent), m_dm(dm)
{
    setWindowTitle(title);
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    ComboSeparator = new QComboBox(this);
    ComboSeparator->setObjectName(QStringLiteral("ComboSeparator"));
    ComboSeparator->setEditable(true);
    ComboSeparator->addItems({QStringLiteral("|"), QStringLiteral(","), TextImport::tabItem()});
    ComboSeparator->setCurrentIndex(0);
    EditFile = new QLineEdit(this);
    EditFile->setObjectName(QStringLiteral("EditFile"));
    BtnBrowse = new QPushButton(QStringLiteral("浏览..."), this);
    OpenDialogBrowse = createFileDialog(this, QStringLiteral("OpenDialogBrowse"));
    OpenDialogBrowse->setFileMode(QFileDialog::ExistingFile);
    OpenDialogBrowse->setNameFilters(
        {QStringLiteral("TXT文件(*.txt)"), QStringLiteral("所有文件(*.*)")});
    OpenDialogBrowse->setDefaultSuffix(QStringLiteral("txt"));
    StartEdit = new QLineEdit(this);
    FieldOrder = new QGroupBox(QStringLiteral("字段顺序"), this);
    ComboYesNo = new QComboBox(this);
    ComboYesNo->setObjectName(QStringLiteral("ComboYesNo"));
    ComboYesNo->setEditable(true);
    ComboYesNo->addItems({QStringLiteral("是/否"), QStringLiteral("Y/N"), QStringLiteral("1/0")});
    ComboYesNo->setCurrentIndex(0);
    StatusLabel = new QLabel(this);
    const DialogButtons buttons =
        makeDialogButtons(this, QStringLiteral("开始"), QStringLiteral("关闭"));
    BtnStart = buttons.ok;
    BtnClose = buttons.cancel;
    connect(BtnBrowse, &QPushButton::clicked, this, &TextImportWindow::BtnBrowseClick);
    connect(BtnStart, &QPushButton::clicked, this, &TextImportWindow::BtnStartClick);
    connect(BtnClose, &QPushButton::clicked, this, &QDialog::accept);
    ComboEncoding = new QComboBox(this);
    ComboEncoding->setObjectName(QStringLiteral("ComboEncoding"));
    for (TextEncoding e : {TextEncoding::Auto, TextEncoding::Gbk, TextEncoding::Utf8})
        ComboEncoding->addItem(encodingText(e), int(e));
    BtnPreview = new QPushButton(QStringLiteral("预览"), this);
    BtnPreview->setObjectName(QStringLiteral("BtnPreview"));
    Preview = new PreviewPane(this);
    Preview->hide();
    m_previewTimer = new QTimer(this);
    m_previewTimer->setSingleShot(true);
    m_previewTimer->setInterval(250);
    connect(m_previewTimer, &QTimer::timeout, this, &TextImportWindow::refreshPreview);
    connect(BtnPreview, &QPushButton::clicked, this, &TextImportWindow::BtnPreviewClick);
    // The preview and the file read for it are for this opening only.
    connect(this, &QDialog::finished, this, [this] {
        m_previewTimer->stop();
        Preview->hide();
        m_cachedPath.clear();
        m_cachedBytes.clear();
        m_previewedBytes.clear();
    });
}

void TextImportWindow::build(const ImportLayout& importLayout, const QList<ColumnEdit>& edits,
                             const QString& startDefault, const QString& yesNoLabel,
                             std::optional<ImportField> yesNoBeside)
{
    m_layout = &importLayout;
    const QMap<ImportField, QString> defaults = importLayout.defaultTexts();
    StartEdit->setText(startDefault);

    auto* fields = new QGridLayout(FieldOrder);
    int row = 0;
    int col = 0;
    auto nextRow = [&] {
        if (col > 0) {
            ++row;
            col = 0;
        }
    };
    for (const auto& [field, name, label] : edits) {
        auto* edit = new QLineEdit(defaults.value(field), FieldOrder);
        edit->setObjectName(name);
        edit->setMaximumWidth(60);
        columnEdits.insert(name, edit);
        m_fieldEdits.insert(field, edit);
        if (field == yesNoBeside) {
            // One framed row: the flag's column and the notation that reads it.
            nextRow();
            auto* frame = new QFrame(FieldOrder);
            frame->setFrameShape(QFrame::StyledPanel);
            auto* line = new QHBoxLayout(frame);
            line->setContentsMargins(4, 2, 4, 2);
            edit->setParent(frame);
            line->addWidget(new QLabel(label, frame));
            line->addWidget(edit);
            line->addSpacing(12);
            line->addWidget(new QLabel(yesNoLabel, frame));
            ComboYesNo->setParent(frame);
            line->addWidget(ComboYesNo, 1);
            fields->addWidget(frame, row++, 0, 1, 4);
            continue;
        }
        fields->addWidget(new QLabel(label, FieldOrder), row, col * 2);
        fields->addWidget(edit, row, col * 2 + 1);
        if (++col == 2)
            nextRow();
    }
    if (!yesNoBeside) {
        nextRow();
        fields->addWidget(new QLabel(yesNoLabel, FieldOrder), row, 0);
        fields->addWidget(ComboYesNo, row, 1, 1, 3);
    }

    buildTools();
    auto* top = new QGridLayout;
    top->addWidget(new QLabel(QStringLiteral("字段分隔符："), this), 0, 0);
    top->addWidget(ComboSeparator, 0, 1);
    top->addWidget(new QLabel(QStringLiteral("（请注意全角半角）"), this), 0, 2);
    top->addWidget(new QLabel(QStringLiteral("导入文件："), this), 1, 0);
    top->addWidget(EditFile, 1, 1, 1, 2);
    top->addWidget(BtnBrowse, 1, 3);
    top->addWidget(new QLabel(QStringLiteral("起始导入行号："), this), 2, 0);
    top->addWidget(StartEdit, 2, 1);
    top->addWidget(new QLabel(QStringLiteral("文件编码："), this), 3, 0);
    top->addWidget(ComboEncoding, 3, 1);
    auto* statusRow = new QHBoxLayout;
    statusRow->addWidget(new QLabel(QStringLiteral("状态："), this));
    statusRow->addWidget(StatusLabel, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Profiles);
    layout->addLayout(top);
    layout->addWidget(FieldOrder);
    layout->addWidget(Preview, 1);
    layout->addLayout(statusRow);
    layout->setObjectName(QStringLiteral("mainLayout"));
    layout->addLayout(
        buttonRow(DialogButtons{BtnStart, BtnClose}, RowPlacement::Right, {BtnPreview}));
    setReadingTabOrder(edits, yesNoBeside);
}

void TextImportWindow::setReadingTabOrder(const QList<ColumnEdit>& edits,
                                          std::optional<ImportField> yesNoBeside)
{
    QList<QWidget*> order = {Profiles->ComboProfile,
                             Profiles->BtnSaveProfile,
                             Profiles->BtnDeleteProfile,
                             ComboSeparator,
                             EditFile,
                             BtnBrowse,
                             StartEdit,
                             ComboEncoding};
    for (const ColumnEdit& e : edits) {
        order << m_fieldEdits.value(e.field);
        if (e.field == yesNoBeside)
            order << ComboYesNo;
    }
    if (!yesNoBeside)
        order << ComboYesNo;
    order << BtnPreview << BtnStart << BtnClose;
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order.at(i), order.at(i + 1));
}

void TextImportWindow::buildTools()
{
    Profiles = new ProfileBar(m_dm, m_layout->kind, this);
    Profiles->current = [this] { return textProfile(form(), m_layout->kind); };
    Profiles->apply = [this](const QJsonObject& profile) {
        ImportForm f = form();
        applyTextProfile(profile, m_layout->kind, f);
        setForm(f);
    };
    // Every setting the preview depends on refreshes it.
    const auto changed = [this] { settingChanged(); };
    connect(ComboSeparator, &QComboBox::editTextChanged, this, changed);
    connect(EditFile, &QLineEdit::textChanged, this, changed);
    connect(StartEdit, &QLineEdit::textChanged, this, changed);
    connect(ComboYesNo, &QComboBox::editTextChanged, this, changed);
    connect(ComboEncoding, &QComboBox::currentIndexChanged, this, changed);
    for (QLineEdit* edit : std::as_const(m_fieldEdits))
        connect(edit, &QLineEdit::textChanged, this, changed);
}

void TextImportWindow::settingChanged()
{
    if (!Preview->isHidden())
        m_previewTimer->start();
}

bool TextImportWindow::previewPending() const
{
    return m_previewTimer->isActive();
}

void TextImportWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    Profiles->load();
}

void TextImportWindow::BtnPreviewClick()
{
    if (m_running)
        return;
    if (Preview->isHidden()) {
        Preview->show();
        resize(std::max(width(), 720), std::max(height(), 640));
    }
    refreshPreview();
}

QByteArray TextImportWindow::fileBytes(const QString& path)
{
    const QFileInfo info(path);
    if (path != m_cachedPath || info.size() != m_cachedSize ||
        info.lastModified() != m_cachedTime) {
        m_cachedBytes = FileGuard::readInputFile(path);
        m_cachedPath = path;
        m_cachedSize = info.size();
        m_cachedTime = info.lastModified();
    }
    return m_cachedBytes;
}

void TextImportWindow::refreshPreview()
{
    if (m_running) {
        m_previewTimer->start(); // a setting changed during a run: once it has ended
        return;
    }
    showPreviewNow();
}

void TextImportWindow::showPreviewNow()
{
    m_previewTimer->stop();
    m_previewedBytes.clear();
    if (Preview->isHidden())
        return;
    const ImportForm typed = form();
    ImportSettings settings;
    try {
        settings = checkImportForm(typed, *m_layout);
    } catch (const ImportFormError& e) {
        Preview->showProblem(e.message());
        return;
    }
    try {
        const QByteArray bytes = fileBytes(typed.file);
        Preview->showPreview(previewTextImport(*m_layout, bytes, settings), true);
        m_previewedBytes = bytes;
    } catch (const DbError& e) {
        Preview->showProblem(e.message());
    }
}

bool TextImportWindow::previewMatches(const QByteArray& bytes)
{
    if (Preview->isHidden())
        return true;
    if (!previewPending() && !m_previewedBytes.isEmpty() && bytes == m_previewedBytes)
        return true;
    showPreviewNow();
    status(QString());
    message(QStringLiteral("预览已按当前的设置和文件内容更新，请核对后再按“开始”。"), BtnStart);
    return false;
}

void TextImportWindow::message(const QString& text, QWidget* focus)
{
    MessageBox::notice(this, text);
    if (focus)
        focus->setFocus();
}

QWidget* TextImportWindow::control(ImportField field) const
{
    switch (field) {
    case ImportField::Separator:
        return ComboSeparator;
    case ImportField::File:
        return EditFile;
    case ImportField::StartLine:
        return StartEdit;
    case ImportField::YesNo:
        return ComboYesNo;
    default:
        return m_fieldEdits.value(field);
    }
}

void TextImportWindow::reject()
{
    // Esc: a run under way goes to its end first.
    if (!m_running)
        QDialog::reject();
}

void TextImportWindow::closeEvent(QCloseEvent* event)
{
    if (m_running) {
        event->ignore(); // the title bar's close box waits for the run too
        return;
    }
    QDialog::closeEvent(event);
}

void TextImportWindow::status(const QString& text)
{
    StatusLabel->setText(text);
}

void TextImportWindow::processEvents()
{
    QApplication::processEvents();
}

void TextImportWindow::BtnBrowseClick()
{
    if (Modal::exec(OpenDialogBrowse) != QDialog::Accepted)
        return;
    const QStringList files = OpenDialogBrowse->selectedFiles();
    if (!files.isEmpty())
        EditFile->setText(QDir::toNativeSeparators(files.first()));
}

ImportForm TextImportWindow::form() const
{
    ImportForm form;
    form.separatorText = ComboSeparator->currentText();
    form.file = EditFile->text();
    form.startText = StartEdit->text();
    for (auto it = m_fieldEdits.cbegin(); it != m_fieldEdits.cend(); ++it)
        form.columnTexts.insert(it.key(), it.value()->text());
    form.yesNoText = ComboYesNo->currentText();
    form.encoding = TextEncoding(ComboEncoding->currentData().toInt());
    return form;
}

void TextImportWindow::setForm(const ImportForm& f)
{
    ComboSeparator->setEditText(f.separatorText);
    StartEdit->setText(f.startText);
    for (auto it = m_fieldEdits.cbegin(); it != m_fieldEdits.cend(); ++it)
        it.value()->setText(f.columnTexts.value(it.key()));
    ComboYesNo->setEditText(f.yesNoText);
    ComboEncoding->setCurrentIndex(std::max(0, ComboEncoding->findData(int(f.encoding))));
}

void TextImportWindow::BtnStartClick()
{
    if (m_running)
        return; // one run at a time
    const ImportForm typed = form();
    ImportSettings settings;
    try {
        settings = checkImportForm(typed, *m_layout);
    } catch (const ImportFormError& e) {
        message(e.message(), control(e.field()));
        return;
    }
    Profiles->markUsed();
    // Reading, analysis, import, end.
    m_running = true;
    BtnClose->setEnabled(false);
    BtnStart->setEnabled(false);
    BtnPreview->setEnabled(false);
    status(QStringLiteral("读取文件..."));
    // Any other refusal is the system's error report.
    guarded(this, [&] {
        const QByteArray bytes = FileGuard::readInputFile(typed.file);
        if (!previewMatches(bytes))
            return;
        const ImportSource source{typed.file, sha256Hex(bytes)};
        if (!confirmRepeatedImport(this, m_dm, m_layout->kind, source.sha256)) {
            status(QString());
            return;
        }
        try {
            const ImportReport report = runImport(bytes, settings, source);
            for (const QString& m : report.messages)
                message(m, nullptr);
        } catch (const ImportLineError& e) {
            message(e.message(), nullptr); // the analysis pass's refusal of a line
        }
    });
    BtnClose->setEnabled(true);
    BtnStart->setEnabled(true);
    BtnPreview->setEnabled(true);
    m_running = false;
}

// ---------------------------------------------------------------------------

Timptransfer::Timptransfer(TDataModule2& dm, QWidget* parent)
    : TextImportWindow(dm, QStringLiteral("导入支付指令数据"), parent)
{
    setObjectName(QStringLiteral("imptransfer"));
    StartEdit->setObjectName(QStringLiteral("start"));
    StatusLabel->setObjectName(QStringLiteral("status"));
    build(
        paymentImport(),
        {{ImportField::OwnBank, QStringLiteral("sfb"), QStringLiteral("是否溯枫银行账号：")},
         {ImportField::PayeeAccount, QStringLiteral("skzh"), QStringLiteral("收款账号（必填）：")},
         {ImportField::PayeeName, QStringLiteral("skdw"), QStringLiteral("收款单位（必填）：")},
         {ImportField::PayeeBank, QStringLiteral("skyh"), QStringLiteral("收款银行（必填）：")},
         {ImportField::PayeePlace, QStringLiteral("hrdd"), QStringLiteral("汇入地点：")},
         {ImportField::Amount, QStringLiteral("je"), QStringLiteral("金额：")},
         {ImportField::Urgent, QStringLiteral("dess"), QStringLiteral("大额实时：")},
         {ImportField::Purpose, QStringLiteral("yt"), QStringLiteral("用途：")},
         {ImportField::Remark, QStringLiteral("bz"), QStringLiteral("备注：")}},
        QStringLiteral("2"), QStringLiteral("是否溯枫银行（大额实时）标志："));
}

ImportReport Timptransfer::runImport(const QByteArray& bytes, const ImportSettings& settings,
                                     const ImportSource& source)
{
    Table& payments = *m_dm.ATPayment;
    qint64 lastKey = -1;
    guarded(this, [&] { lastKey = payments.lastStoredKey(); });
    ImportReport report = importPayments(m_dm, bytes, settings, this, source);
    // After success the payment grid shows the rows now stored for the clerk, as read
    // afresh; only the imported ones are read when nothing else changed.
    if (!report.interrupted) {
        guarded(this, [&] {
            if (lastKey >= 0)
                payments.requeryAfterInsert(lastKey);
            else
                payments.requery();
        });
    }
    return report;
}

TFrmImportCompany::TFrmImportCompany(TDataModule2& dm, QWidget* parent)
    : TextImportWindow(dm, QStringLiteral("导入往来账号"), parent)
{
    setObjectName(QStringLiteral("FrmImportCompany"));
    StartEdit->setObjectName(QStringLiteral("EditStart"));
    StatusLabel->setObjectName(QStringLiteral("LabelStatus"));
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    build(
        payeeImport(),
        {{ImportField::PayeeAccount, QStringLiteral("EditAccount"),
          QStringLiteral("收款账号（必填）：")},
         {ImportField::PayeeName, QStringLiteral("EditUnit"), QStringLiteral("收款单位（必填）：")},
         {ImportField::PayeeBank, QStringLiteral("EditBank"), QStringLiteral("收款银行（必填）：")},
         {ImportField::PayeePlace, QStringLiteral("EditPlace"), QStringLiteral("汇入地点：")},
         {ImportField::Remark, QStringLiteral("EditMemo"), QStringLiteral("备注：")},
         {ImportField::Classification, QStringLiteral("EditCompanyType"),
          QStringLiteral("账号分类：")},
         {ImportField::OwnBank, QStringLiteral("EditSf"), QStringLiteral("是否溯枫银行账号：")},
         {ImportField::CustomNo, QStringLiteral("EditNo"), QStringLiteral("自定编号：")}},
        QStringLiteral("1"), QStringLiteral("是/否标志："), ImportField::OwnBank);
    if (auto* layout = findChild<QVBoxLayout*>(QStringLiteral("mainLayout")))
        layout->insertWidget(layout->count() - 1, ProgressBar1);
}

void TFrmImportCompany::progressRange(int maximum)
{
    ProgressBar1->setRange(0, std::max(maximum, 0));
}

void TFrmImportCompany::progress(int value)
{
    ProgressBar1->setValue(value);
    ProgressBar1->repaint();
}

ImportReport TFrmImportCompany::runImport(const QByteArray& bytes, const ImportSettings& settings,
                                          const ImportSource& source)
{
    return importPayees(m_dm, bytes, settings, this, source);
}

} // namespace bankprep
