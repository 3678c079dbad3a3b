#include "windows/importtools.h"

#include "controls/messagebox.h"
#include "core/data/datamodule.h"
#include "core/import/importprofile.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace bankprep {

ProfileBar::ProfileBar(TDataModule2& dm, ImportKind kind, QWidget* parent)
    : QWidget(parent), m_dm(dm), m_kind(kind)
{
    setObjectName(QStringLiteral("ProfileBar"));
    ComboProfile = new QComboBox(this);
    ComboProfile->setObjectName(QStringLiteral("ComboProfile"));
    ComboProfile->setMinimumWidth(160);
    BtnSaveProfile = new QPushButton(QStringLiteral("保存方案..."), this);
    BtnSaveProfile->setObjectName(QStringLiteral("BtnSaveProfile"));
    BtnDeleteProfile = new QPushButton(QStringLiteral("删除方案"), this);
    BtnDeleteProfile->setObjectName(QStringLiteral("BtnDeleteProfile"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel(QStringLiteral("导入方案："), this));
    row->addWidget(ComboProfile, 1);
    row->addWidget(BtnSaveProfile);
    row->addWidget(BtnDeleteProfile);
    connect(ComboProfile, &QComboBox::currentIndexChanged, this, &ProfileBar::choose);
    connect(BtnSaveProfile, &QPushButton::clicked, this, [this] {
        QInputDialog ask(this);
        ask.setObjectName(QStringLiteral("ProfileNameDlg"));
        ask.setWindowTitle(QStringLiteral("保存导入方案"));
        ask.setLabelText(QStringLiteral("方案名称："));
        ask.setTextValue(chosen());
        ask.setOkButtonText(QStringLiteral("保存"));
        ask.setCancelButtonText(QStringLiteral("取消"));
        if (Modal::exec(&ask) == QDialog::Accepted)
            saveAs(ask.textValue());
    });
    connect(BtnDeleteProfile, &QPushButton::clicked, this, &ProfileBar::deleteChosen);
    BtnDeleteProfile->setEnabled(false);
}

void ProfileBar::load()
{
    QStringList names;
    QString last;
    if (!guarded(this, [&] {
            names = profileNames(m_dm.ADOConn, m_kind);
            if (!m_loaded)
                last = lastProfile(m_dm.ADOConn, m_kind);
        }))
        return;
    const QString keep = m_loaded ? chosen() : last;
    m_filling = true;
    ComboProfile->clear();
    ComboProfile->addItem(QStringLiteral("（不使用方案）"));
    ComboProfile->addItems(names);
    const int at = keep.isEmpty() ? 0 : std::max(0, int(names.indexOf(keep)) + 1);
    ComboProfile->setCurrentIndex(at);
    m_filling = false;
    BtnDeleteProfile->setEnabled(at > 0);
    // The first opening starts from the profile used last.
    if (!m_loaded && at > 0)
        choose(at);
    m_loaded = true;
}

QString ProfileBar::chosen() const
{
    return ComboProfile->currentIndex() > 0 ? ComboProfile->currentText() : QString();
}

void ProfileBar::choose(int index)
{
    BtnDeleteProfile->setEnabled(index > 0);
    if (m_filling || index <= 0 || !apply)
        return;
    std::optional<QJsonObject> profile;
    guarded(this,
            [&] { profile = loadProfile(m_dm.ADOConn, m_kind, ComboProfile->itemText(index)); });
    if (profile)
        apply(*profile);
}

void ProfileBar::markUsed()
{
    guarded(this, [this] { setLastProfile(m_dm.ADOConn, m_kind, chosen()); });
}

void ProfileBar::saveAs(const QString& name)
{
    if (!current)
        return;
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty()) {
        MessageBox::notice(this, QStringLiteral("请输入方案名称。"));
        return;
    }
    // Another profile of that name is replaced only when the clerk says so.
    if (trimmed != chosen() && ComboProfile->findText(trimmed) > 0 &&
        MessageBox::question(
            this, QStringLiteral("保存方案"),
            QStringLiteral("导入方案“%1”已存在，是否用当前设置替换它？").arg(trimmed),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    if (!guarded(this, [&] { saveProfile(m_dm.ADOConn, m_kind, trimmed, current()); }))
        return;
    load();
    m_filling = true;
    ComboProfile->setCurrentIndex(std::max(0, ComboProfile->findText(trimmed)));
    m_filling = false;
    BtnDeleteProfile->setEnabled(ComboProfile->currentIndex() > 0);
}

void ProfileBar::deleteChosen()
{
    const QString name = chosen();
    if (name.isEmpty())
        return;
    if (MessageBox::question(
            this, QStringLiteral("删除方案"), QStringLiteral("是否删除导入方案“%1”？").arg(name),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::No) != QMessageBox::Yes)
        return;
    if (guarded(this, [&] { deleteProfile(m_dm.ADOConn, m_kind, name); })) {
        m_filling = true;
        ComboProfile->setCurrentIndex(0);
        m_filling = false;
        load();
    }
}

// ---------------------------------------------------------------------------

PreviewPane::PreviewPane(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PreviewPane"));
    Summary = new QLabel(this);
    Summary->setObjectName(QStringLiteral("PreviewSummary"));
    Summary->setWordWrap(true);
    Summary->setTextFormat(Qt::PlainText);
    Grid = new QTableWidget(this);
    Grid->setObjectName(QStringLiteral("PreviewGrid"));
    Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    Grid->verticalHeader()->setDefaultSectionSize(20);
    Grid->setMinimumHeight(180);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Summary);
    layout->addWidget(Grid, 1);
}

void PreviewPane::showPreview(const ImportPreview& p, bool showEncoding)
{
    QString text = previewSummary(p, showEncoding);
    if (!p.refusal.isEmpty())
        text += QStringLiteral("\n按当前设置导入将被拒绝：") + p.refusal;
    Summary->setText(text);
    Summary->setStyleSheet(p.refusal.isEmpty() ? QString() : QStringLiteral("color: #b00000;"));
    Grid->clear();
    Grid->setColumnCount(int(p.headings.size()));
    Grid->setHorizontalHeaderLabels(p.headings);
    Grid->setRowCount(int(p.rows.size()));
    QStringList lines;
    for (size_t r = 0; r < p.rows.size(); ++r) {
        lines << QStringLiteral("第%1行").arg(p.lines[r]);
        for (size_t c = 0; c < p.rows[r].size(); ++c) {
            const ImportPreview::Cell& cell = p.rows[r][c];
            auto* item = new QTableWidgetItem(cell.value);
            if (!cell.problem.isEmpty()) {
                item->setBackground(QColor(0xff, 0xd0, 0xd0));
                item->setToolTip(cell.problem);
            }
            Grid->setItem(int(r), int(c), item);
        }
    }
    Grid->setVerticalHeaderLabels(lines);
    Grid->resizeColumnsToContents();
}

void PreviewPane::showProblem(const QString& message)
{
    Summary->setText(QStringLiteral("无法预览：") + message);
    Summary->setStyleSheet(QStringLiteral("color: #b00000;"));
    Grid->clear();
    Grid->setRowCount(0);
    Grid->setColumnCount(0);
}

bool confirmRepeatedImport(QWidget* parent, TDataModule2& dm, ImportKind kind,
                           const QByteArray& sha256)
{
    std::optional<ImportBatch> earlier;
    if (!guarded(parent, [&] { earlier = earlierImportOf(dm.ADOConn, kind, sha256); }))
        return false;
    if (!earlier)
        return true;
    return MessageBox::question(
               parent, QStringLiteral("重复导入"),
               repeatedImportMessage(*earlier) + QStringLiteral("\n\n是否仍然导入？"),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

} // namespace bankprep
