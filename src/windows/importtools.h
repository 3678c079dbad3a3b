#pragma once

#include "core/import/importbatch.h"
#include "core/import/importpreview.h"

#include <QJsonObject>
#include <QWidget>
#include <functional>

class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace bankprep {

class TDataModule2;

// The profile row of an import window: the saved settings by name (导入方案), saved
// from the window and deleted after a question. Choosing one puts its settings into the
// window; the last one used is chosen again when the window first opens.
class ProfileBar : public QWidget
{
    Q_OBJECT
public:
    ProfileBar(TDataModule2& dm, ImportKind kind, QWidget* parent);

    QComboBox* ComboProfile;       // "（不使用方案）", then the names
    QPushButton* BtnSaveProfile;   // 保存方案…
    QPushButton* BtnDeleteProfile; // 删除方案

    // What the window's settings are now, and how a profile is put into them.
    std::function<QJsonObject()> current;
    std::function<void(const QJsonObject&)> apply;

    // Reads the names again; the first time, the profile used last is chosen and put in.
    void load();
    QString chosen() const; // empty: none
    // Remembers the chosen profile as the one used last (at the start of an import).
    void markUsed();
    void saveAs(const QString& name);
    void deleteChosen();

private:
    void choose(int index);

    TDataModule2& m_dm;
    ImportKind m_kind;
    bool m_loaded = false;
    bool m_filling = false;
};

// The preview under an import window's settings: a line of totals (and the message that
// would refuse the file) above a grid of the first records, each cell as it would be
// stored, a cell that would refuse the file in red with the message as its tip.
class PreviewPane : public QWidget
{
    Q_OBJECT
public:
    explicit PreviewPane(QWidget* parent);

    QLabel* Summary;
    QTableWidget* Grid;

    void showPreview(const ImportPreview& preview, bool showEncoding);
    // Settings that cannot be previewed: the message instead of the records.
    void showProblem(const QString& message);
};

// Before a file is imported a second time into the same list: the question, No by
// default. True to go on.
bool confirmRepeatedImport(QWidget* parent, TDataModule2& dm, ImportKind kind,
                           const QByteArray& sha256);

} // namespace bankprep
