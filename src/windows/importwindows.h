#pragma once

#include "core/import/textimport.h"

#include <QDateTime>
#include <QDialog>
#include <QMap>
#include <optional>

class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

namespace bankprep {

class PreviewPane;
class ProfileBar;
class TDataModule2;

// What both import windows share: separator, file, start line, the column edits, the
// yes/no notation, the status and the Start / Close buttons. The checks run in the
// window's order, each failure with its message and the focus on its control.
class TextImportWindow : public QDialog, public ImportObserver
{
    Q_OBJECT
public:
    QComboBox* ComboSeparator;
    QLineEdit* EditFile;
    QPushButton* BtnBrowse;
    QFileDialog* OpenDialogBrowse;
    QLineEdit* StartEdit;
    QGroupBox* FieldOrder;
    QComboBox* ComboYesNo;
    QLabel* StatusLabel;
    QPushButton* BtnStart;
    QPushButton* BtnClose;
    QMap<QString, QLineEdit*> columnEdits; // by object name
    ProfileBar* Profiles;                  // 导入方案: saved settings
    QComboBox* ComboEncoding;              // 文件编码: 自动识别, GBK, UTF-8
    QPushButton* BtnPreview;               // 预览
    PreviewPane* Preview; // hidden until 预览; then follows every change of a setting

    void BtnBrowseClick();
    void BtnStartClick();
    void BtnPreviewClick();
    // The preview read again with the settings as they are now (when it is shown).
    void refreshPreview();
    bool previewPending() const; // a setting changed and the preview not yet refreshed
    bool isRunning() const { return m_running; }

    void status(const QString& text) override;
    void processEvents() override;
    void reject() override; // not while a run is under way

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    TextImportWindow(TDataModule2& dm, const QString& title, QWidget* parent);
    // One column edit: the field it gives the column of, its object name and screen label.
    struct ColumnEdit
    {
        ImportField field;
        QString objectName;
        QString label;
    };
    // Builds the column edits (in screen order, with the import's default texts) and the
    // layout. `yesNoBeside`: the field whose row also holds the yes/no notation (none: a
    // row of its own under the columns).
    void build(const ImportLayout& importLayout, const QList<ColumnEdit>& edits,
               const QString& startDefault, const QString& yesNoLabel,
               std::optional<ImportField> yesNoBeside = {});
    virtual ImportReport runImport(const QByteArray& bytes, const ImportSettings& settings,
                                   const ImportSource& source) = 0;

    TDataModule2& m_dm;
    const ImportLayout* m_layout = nullptr;

private:
    void message(const QString& text, QWidget* focus);
    ImportForm form() const;
    void setForm(const ImportForm& form); // a profile's settings into the controls
    QWidget* control(ImportField field) const;
    void buildTools();
    // Tab goes down the window as it reads: the profile, the settings, the columns, then
    // the buttons.
    void setReadingTabOrder(const QList<ColumnEdit>& edits, std::optional<ImportField> yesNoBeside);
    void showPreviewNow();
    void settingChanged();
    // The file's bytes, read again only when it changed since the last reading.
    QByteArray fileBytes(const QString& path);
    // Before a run: the preview shows what this run would import (else it is refreshed
    // and the clerk asked to look again).
    bool previewMatches(const QByteArray& bytes);
    QMap<ImportField, QLineEdit*> m_fieldEdits;
    bool m_running = false;
    QTimer* m_previewTimer = nullptr;
    QString m_cachedPath;
    QDateTime m_cachedTime;
    qint64 m_cachedSize = -1;
    QByteArray m_cachedBytes;
    QByteArray m_previewedBytes; // what the preview shows was read from these bytes
};

// Payment instructions from a delimited file (defaults read the bank file this
// program writes).
class Timptransfer : public TextImportWindow
{
    Q_OBJECT
public:
    explicit Timptransfer(TDataModule2& dm, QWidget* parent = nullptr);

protected:
    ImportReport runImport(const QByteArray& bytes, const ImportSettings& settings,
                           const ImportSource& source) override;
};

// Payee accounts from a delimited file, classifications found or created by name.
class TFrmImportCompany : public TextImportWindow
{
    Q_OBJECT
public:
    explicit TFrmImportCompany(TDataModule2& dm, QWidget* parent = nullptr);
    QProgressBar* ProgressBar1;

    void progressRange(int maximum) override;
    void progress(int value) override;

protected:
    ImportReport runImport(const QByteArray& bytes, const ImportSettings& settings,
                           const ImportSource& source) override;
};

} // namespace bankprep
