#pragma once
// The Preferences window: start with the desktop session, the update check
// at start-up, and the scheduled scan. The stores underneath (autostart
// entry, settings store, scheduler) are plain C++ in platform/.
#include <QCheckBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimeEdit>
#include <memory>
#include <string>

#include "platform/TaskScheduler.h"

// The program's one work item.
inline constexpr const char* ScheduledTaskName = "Corvane.job";

// The scheduler and the work item the page last found or made; kept for the
// life of the program (the item also after it is deleted).
extern std::unique_ptr<plat::TTaskScheduler> SchedulingAgent;
extern std::shared_ptr<plat::TTask> Task;

plat::HRESULT InitSchedulingAgent();
// Activates Name into ATask; on a failure shows the message and ATask is empty.
plat::HRESULT ActivateTask(const std::string& Name, std::shared_ptr<plat::TTask>& ATask);
// Writes Task; a failure is shown with its reason.
plat::HRESULT SaveTask();
plat::HRESULT DeleteTask(const std::string& Name);
// Releases the scheduler and the item (at exit; tests between cases).
void ReleaseScheduling();

class TFormOptions : public QDialog {
public:
    explicit TFormOptions(QWidget* Owner = nullptr);
    ~TFormOptions() override;

    void FormCreate();
    void FormShow();
    void MainPageControlChange();
    void BitBtn1Click();
    void BtnCancelClick();
    void CheckUpdateBtnClick();
    void FormDestroy() {}

    void LoadGeneralPage();
    void SaveGeneralPage();
    void SetRunAtStartup(bool Enable);
    void SaveCheckUpdate();

    void LoadSchedulePage();
    void SaveSchedule();
    void cbActiveTaskClick();

    QTabWidget* MainPageControl;
    QWidget* panBottom;
    QPushButton* BitBtn1;
    QPushButton* BtnCancel;
    // Page 0, "General Settings".
    QGroupBox* gbSchedule;
    QCheckBox* ChkRun;
    QGroupBox* gbCheckUpdate;
    QCheckBox* cbCheckUpdate;
    QLabel* LabelVer;
    QPushButton* CheckUpdateBtn;
    // Page 1, "Scheduling".
    QCheckBox* cbActiveTask;
    QLabel* ImageTask;
    QLabel* abTaskName;
    QLabel* labSettings;
    QLabel* labStartTime;
    QLabel* labDays;
    QLabel* labDayUnit;
    QTimeEdit* dtpStartTime;
    QSpinBox* SpinEditDays;

    std::string Version;  // the installed version, as the settings store holds it

protected:
    void showEvent(QShowEvent* E) override;
};
