#include "windows/salaryimportdlg.h"

#include "controls/dialogbuttons.h"
#include "controls/messagebox.h"
#include "core/data/datamodule.h"
#include "windows/importtools.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace bankprep {

TImportDlg::TImportDlg(TDataModule2& dm, QWidget* parent) : QDialog(parent), m_dm(dm)
{
    setupFixedDialog(this, QStringLiteral("ImportDlg"), QStringLiteral("数据导入对话框"));
    GroupBox1 = new QGroupBox(QStringLiteral("对应字段选择"), this);
    auto combo = [this](const char* name) {
        auto* c = new QComboBox(GroupBox1);
        c->setObjectName(QString::fromLatin1(name));
        c->setEditable(false);
        c->setMinimumWidth(160);
        return c;
    };
    CBAccount = combo("CBAccount");
    CBName = combo("CBName");
    CBCard = combo("CBCard");
    CBAmount = combo("CBAmount");
    auto* grid = new QGridLayout(GroupBox1);
    int row = 0;
    for (auto [label, box] : {std::pair{"编号", CBAccount}, std::pair{"姓名", CBName},
                              std::pair{"卡号", CBCard}, std::pair{"实发工资", CBAmount}}) {
        grid->addWidget(new QLabel(QString::fromUtf8(label), GroupBox1), row, 0);
        grid->addWidget(box, row, 1);
        ++row;
        connect(box, &QComboBox::currentIndexChanged, this, [this] {
            if (!Preview->isHidden())
                refreshPreview();
        });
    }
    Profiles = new ProfileBar(dm, ImportKind::Salary, this);
    Profiles->current = [this] { return salaryProfile(chosenTitles()); };
    Profiles->apply = [this](const QJsonObject& p) { applyTitles(salaryTitlesFrom(p)); };
    BtnPreview = new QPushButton(QStringLiteral("预览"), this);
    BtnPreview->setObjectName(QStringLiteral("BtnPreview"));
    Preview = new PreviewPane(this);
    Preview->setMinimumWidth(560);
    Preview->hide();
    connect(BtnPreview, &QPushButton::clicked, this, [this] {
        Preview->show();
        refreshPreview();
    });
    connect(this, &QDialog::finished, this, [this] { Preview->hide(); });
    const DialogButtons buttons =
        makeDialogButtons(this, QStringLiteral("确定"), QStringLiteral("放弃"));
    BitBtn1 = buttons.ok;
    BitBtn2 = buttons.cancel;
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Profiles);
    layout->addWidget(GroupBox1);
    layout->addWidget(Preview);
    layout->addLayout(buttonRow(buttons, RowPlacement::Right, {BtnPreview}));
    layout->setSizeConstraint(QLayout::SetFixedSize);
    const QList<QWidget*> order = {Profiles->ComboProfile,
                                   Profiles->BtnSaveProfile,
                                   Profiles->BtnDeleteProfile,
                                   CBAccount,
                                   CBName,
                                   CBCard,
                                   CBAmount,
                                   BtnPreview,
                                   BitBtn1,
                                   BitBtn2};
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order.at(i), order.at(i + 1));
    connect(BitBtn1, &QPushButton::clicked, this, [this] { done(1); });
    connect(BitBtn2, &QPushButton::clicked, this, &TImportDlg::reject);
}

void TImportDlg::setSheet(const Spreadsheet* sheet)
{
    m_sheet = sheet;
}

void TImportDlg::setTitles(const QStringList& titles)
{
    m_titles = titles;
    for (QComboBox* c : {CBName, CBAccount, CBCard, CBAmount}) {
        const QSignalBlocker quiet(c);
        c->clear();
        c->addItems(titles);
        c->setCurrentIndex(titles.isEmpty() ? -1 : 0);
    }
    Profiles->load();
    std::optional<SalaryTitles> remembered;
    guarded(this, [&] {
        if (const auto p = loadProfile(m_dm.ADOConn, ImportKind::Salary, Profiles->chosen()))
            remembered = salaryTitlesFrom(*p);
        else
            remembered = lastSalaryMapping(m_dm.ADOConn);
    });
    if (remembered)
        applyTitles(*remembered);
    if (!Preview->isHidden())
        refreshPreview();
}

void TImportDlg::applyTitles(const SalaryTitles& t)
{
    const std::pair<QComboBox*, const QString*> fields[] = {
        {CBAccount, &t.number}, {CBName, &t.name}, {CBCard, &t.card}, {CBAmount, &t.amount}};
    for (const auto& [box, title] : fields) {
        if (const int column = columnOfTitle(m_titles, *title); column > 0)
            box->setCurrentIndex(column - 1);
    }
}

SalaryColumns TImportDlg::columns() const
{
    SalaryColumns c;
    c.name = CBName->currentIndex() + 1;
    c.number = CBAccount->currentIndex() + 1;
    c.card = CBCard->currentIndex() + 1;
    c.amount = CBAmount->currentIndex() + 1;
    return c;
}

SalaryTitles TImportDlg::chosenTitles() const
{
    return {CBAccount->currentText(), CBName->currentText(), CBCard->currentText(),
            CBAmount->currentText()};
}

void TImportDlg::rememberMapping()
{
    guarded(this, [this] { rememberSalaryMapping(m_dm.ADOConn, chosenTitles()); });
    Profiles->markUsed();
}

void TImportDlg::refreshPreview()
{
    if (!m_sheet) {
        Preview->showProblem(QStringLiteral("没有打开的工资文件。"));
        return;
    }
    try {
        Preview->showPreview(previewSalaryImport(*m_sheet, columns()), false);
    } catch (const DbError& e) {
        Preview->showProblem(e.message());
    }
}

void TImportDlg::reject()
{
    done(3); // abort
}

} // namespace bankprep
