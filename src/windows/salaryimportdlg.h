#pragma once

#include "core/import/importprofile.h"
#include "core/import/salaryimport.h"

#include <QDialog>

class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace bankprep {

class PreviewPane;
class ProfileBar;
class TDataModule2;

// The column mapping of the payroll import: which spreadsheet column holds the
// employee number, the name, the card number and the net pay.
class TImportDlg : public QDialog
{
    Q_OBJECT
public:
    explicit TImportDlg(TDataModule2& dm, QWidget* parent = nullptr);

    QGroupBox* GroupBox1;
    QComboBox* CBAccount;
    QComboBox* CBName;
    QComboBox* CBCard;
    QComboBox* CBAmount;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
    ProfileBar* Profiles;    // 导入方案: mappings saved by their titles
    QPushButton* BtnPreview; // 预览
    PreviewPane* Preview;    // hidden until 预览; then follows every change of a column

    // The sheet the preview reads (null: none); it must outlive the dialog's opening.
    void setSheet(const Spreadsheet* sheet);
    // Refills the four lists with the titles, each preselecting column 1; then the
    // mapping of the chosen profile, or else of the last import, is chosen again by its
    // titles wherever they stand now (a title the sheet lacks leaves column 1).
    void setTitles(const QStringList& titles);
    SalaryColumns columns() const;
    SalaryTitles chosenTitles() const;
    // After an import: its mapping is remembered for the next one, with the profile used.
    void rememberMapping();
    void refreshPreview();
    void reject() override; // closes with the abort result

private:
    void applyTitles(const SalaryTitles& titles);

    TDataModule2& m_dm;
    const Spreadsheet* m_sheet = nullptr;
    QStringList m_titles;
};

} // namespace bankprep
