#include "windows/OptionUnit.h"

#include <QDate>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFrame>
#include <QShowEvent>
#include <QTime>
#include <cstdio>
#include <ctime>

#include <sys/stat.h>

#include "frame/SettingsUnit.h"
#include "frame/StartupUnit.h"
#include "platform/Autostart.h"
#include "platform/ProgramFolder.h"
#include "platform/Registry.h"
#include "platform/TextLines.h"
#include "platform/widgets/MessageBox.h"
#include "windows/DMUnit.h"
#include "windows/WindowHelpers.h"

using plat::HRESULT;
using plat::S_OK;

std::unique_ptr<plat::TTaskScheduler> SchedulingAgent;
std::shared_ptr<plat::TTask> Task;

namespace {

constexpr const char* SettingsKey = "\\Software\\Corvane";
const QTime DesignTime(9, 30);

void ShowMessage(const std::string& Text) { plat::MessageBox(Text, "Corvane", plat::MB_OK); }

std::string Code(HRESULT R) {
    char Text[16];
    std::snprintf(Text, sizeof Text, "%08X", unsigned(R));
    return Text;
}

void ShowRemovalFailure() { ShowMessage("The scheduled scan could not be removed. " + SchedulingAgent->LastError); }

// Whether the program file is there. One removed while the program runs
// cannot be set up to start; Tell says so to the user.
bool ProgramIsThere(const std::string& Program, bool Tell) {
    struct stat St;
    if (stat(Program.c_str(), &St) == 0 && S_ISREG(St.st_mode)) return true;
    if (Tell)
        ShowMessage("The program file \"" + Program + "\" was removed while Corvane runs; start Corvane again to change this.");
    return false;
}

QLabel* Caption(const QString& Text, QWidget* Parent, int X, int Y, bool Bold = false) {
    auto* L = new QLabel(Text, Parent);
    QFont F = L->font();
    F.setBold(Bold);
    L->setFont(F);
    L->move(X, Y);
    L->adjustSize();
    return L;
}

} // namespace

HRESULT InitSchedulingAgent() {
    if (!SchedulingAgent) SchedulingAgent = std::make_unique<plat::TTaskScheduler>();
    return S_OK;
}

HRESULT ActivateTask(const std::string& Name, std::shared_ptr<plat::TTask>& ATask) {
    const HRESULT R = SchedulingAgent->Activate(Name, ATask);
    if (R != S_OK) {
        ShowMessage("Error in SchedulingAgent.Activate.Error Code :" + Code(R));
        ATask.reset();
    }
    return R;
}

HRESULT SaveTask() {
    constexpr const char* Failed = "Error in Task.QueryInterface(IID_IPersistFile, pIPersistFile):";
    if (!Task) {
        ShowMessage(Failed);
        return -1;
    }
    const HRESULT R = Task->Save();
    // Nothing half-written stays behind; the user must hear that nothing changed, and why.
    if (R != S_OK) ShowMessage(std::string(Failed) + "\n" + Task->LastError);
    return R;
}

HRESULT DeleteTask(const std::string& Name) {
    const HRESULT R = SchedulingAgent->Delete(Name);
    if (R != S_OK && R != plat::E_FILE_NOT_FOUND) ShowRemovalFailure();
    return R;
}

void ReleaseScheduling() {
    Task.reset();
    SchedulingAgent.reset();
}

TFormOptions::TFormOptions(QWidget* Owner) : QDialog(Owner) {
    setObjectName("FormOptions");
    setWindowTitle("Preferences");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(499, 261);
    constexpr int Border = 8, PanelHeight = 41;
    const int Inner = width() - 2 * Border;

    MainPageControl = new QTabWidget(this);
    MainPageControl->setGeometry(Border, Border, Inner, height() - 2 * Border - PanelHeight);
    panBottom = new QWidget(this);
    panBottom->setGeometry(Border, height() - Border - PanelHeight, Inner, PanelHeight);
    BitBtn1 = new QPushButton("OK", panBottom);
    BitBtn1->setGeometry(Inner - 2 * 89 - 8, 9, 89, 28);
    BitBtn1->setDefault(true);
    BtnCancel = new QPushButton("Cancel", panBottom);
    BtnCancel->setGeometry(Inner - 89, 9, 89, 28);

    auto* General = new QWidget;
    const int GroupWidth = Inner - 2 * 8 - 4;
    gbSchedule = new QGroupBox("Schedule Option", General);
    gbSchedule->setGeometry(8, 8, GroupWidth, 52);
    ChkRun = new QCheckBox("Run at windows startup", gbSchedule);
    ChkRun->move(16, 22);
    ChkRun->adjustSize();
    gbCheckUpdate = new QGroupBox("Check Update", General);
    gbCheckUpdate->setGeometry(8, 68, GroupWidth, 100);
    cbCheckUpdate = new QCheckBox("Check for Corvane update automatically", gbCheckUpdate);
    cbCheckUpdate->move(16, 22);
    cbCheckUpdate->adjustSize();
    LabelVer = new QLabel("Ver", gbCheckUpdate);
    LabelVer->setGeometry(18, 66, GroupWidth - 170, 20);
    CheckUpdateBtn = new QPushButton("Check for Update", gbCheckUpdate);
    CheckUpdateBtn->setGeometry(GroupWidth - 146, 60, 130, 28);
    MainPageControl->addTab(General, "General Settings");

    auto* Scheduling = new QWidget;
    cbActiveTask = new QCheckBox("Activate Scheduling", Scheduling);
    cbActiveTask->move(16, 12);
    cbActiveTask->adjustSize();
    ImageTask = new QLabel(Scheduling);
    ImageTask->setGeometry(16, 40, 32, 32);
    ImageTask->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    abTaskName = new QLabel(Scheduling);
    abTaskName->setGeometry(58, 48, 300, 18);
    auto* Bevel = new QFrame(Scheduling);
    Bevel->setFrameShape(QFrame::HLine);
    Bevel->setFrameShadow(QFrame::Sunken);
    Bevel->setGeometry(16, 80, Inner - 40, 2);
    labSettings = Caption("Schedule Settings", Scheduling, 16, 90, true);
    labStartTime = Caption("Start Time:", Scheduling, 36, 120);
    dtpStartTime = new QTimeEdit(DesignTime, Scheduling);
    dtpStartTime->setDisplayFormat("HH:mm");
    dtpStartTime->setGeometry(140, 116, 90, 24);
    dtpStartTime->setEnabled(false);
    labDays = Caption("Day Increments:", Scheduling, 36, 152);
    SpinEditDays = new QSpinBox(Scheduling);
    SpinEditDays->setRange(1, 31);
    SpinEditDays->setValue(1);
    SpinEditDays->setGeometry(140, 148, 60, 24);
    SpinEditDays->setEnabled(false);
    labDayUnit = Caption("day(s)", Scheduling, 208, 152);
    MainPageControl->addTab(Scheduling, "Scheduling");

    // Connected once the pages stand: adding the first page reports a change.
    connect(MainPageControl, &QTabWidget::currentChanged, this, [this] { MainPageControlChange(); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
    connect(BtnCancel, &QPushButton::clicked, this, [this] { BtnCancelClick(); });
    connect(CheckUpdateBtn, &QPushButton::clicked, this, [this] { CheckUpdateBtnClick(); });
    // Also when code changes the box, as the page's loading relies on.
    connect(cbActiveTask, &QCheckBox::toggled, this, [this] { cbActiveTaskClick(); });

    FormCreate();
    CentreOnScreen(this);
}

TFormOptions::~TFormOptions() { FormDestroy(); }

void TFormOptions::FormCreate() {
    InitSchedulingAgent();
    MainPageControl->setCurrentIndex(0);
}

void TFormOptions::showEvent(QShowEvent* E) {
    QDialog::showEvent(E);
    if (!E->spontaneous()) FormShow();
}

void TFormOptions::FormShow() {
    LoadGeneralPage();
    LoadSchedulePage();
}

void TFormOptions::MainPageControlChange() {
    if (MainPageControl->currentIndex() == 0) LoadGeneralPage();
    if (MainPageControl->currentIndex() == 1) LoadSchedulePage();
}

void TFormOptions::BitBtn1Click() {
    SaveGeneralPage();
    SaveSchedule();
    accept();
}

void TFormOptions::BtnCancelClick() { reject(); }

void TFormOptions::CheckUpdateBtnClick() {
    if (DM) DM->CheckForUpdate(true);
}

void TFormOptions::LoadGeneralPage() {
    const std::string Program = plat::ProgramPath();
    ChkRun->setChecked(plat::AutostartEntryRuns(Program));

    Version.clear();
    plat::TRegistry Reg(plat::TRootKey::HKEY_LOCAL_MACHINE);
    if (Reg.OpenKey(SettingsKey, false)) {
        try {
            cbCheckUpdate->setChecked(Reg.ReadBool("CheckUpdate"));
            Version = Reg.ReadString("Version");
        } catch (const plat::ERegistryException& E) {
            plat::ShowException(E);
        }
        if (plat::TrimBlanks(Version).empty()) Version = AppVersion;
    }

    struct stat St;
    if (stat(Program.c_str(), &St) != 0) {
        LabelVer->setText("Unknowable Version");
        return;
    }
    std::tm Local{};
    localtime_r(&St.st_mtime, &Local);
    char When[128];
    const size_t N = std::strftime(When, sizeof When, "%x %X", &Local);
    LabelVer->setText(QString::fromStdString("Version: " + Version + ", Last Time: " + std::string(When, N)));
}

void TFormOptions::SaveGeneralPage() {
    SetRunAtStartup(ChkRun->isChecked());
    SaveCheckUpdate();
}

void TFormOptions::SetRunAtStartup(bool Enable) {
    const std::string Program = plat::ProgramPath();
    // An entry that already runs a removed program stays as it is.
    if (Enable && !ProgramIsThere(Program, !plat::AutostartEntryRuns(Program))) return;
    std::string Error;
    const bool Done =
        Enable ? plat::WriteAutostartEntry(Program, Error) : plat::RemoveAutostartEntry(Program, Error);
    if (!Done) ShowMessage("The start with the desktop session could not be changed. " + Error);
}

void TFormOptions::SaveCheckUpdate() {
    plat::TRegistry Reg(plat::TRootKey::HKEY_LOCAL_MACHINE);
    if (!Reg.OpenKey(SettingsKey, true)) return;
    MyRegistryInfo.CheckUpdate = cbCheckUpdate->isChecked();
    try {
        Reg.WriteBool("CheckUpdate", MyRegistryInfo.CheckUpdate);
    } catch (const plat::ERegistryException& E) {
        plat::ShowException(E);
    }
}

void TFormOptions::LoadSchedulePage() {
    cbActiveTask->setChecked(false);
    if (!SchedulingAgent) return;
    for (const std::string& Name : SchedulingAgent->Enum()) {
        if (Name != ScheduledTaskName) continue;
        cbActiveTask->setChecked(true);
        ActivateTask(Name, Task);
        // An item that cannot be read is no job: the page shows none, and OK writes a fresh one.
        if (!Task) {
            cbActiveTask->setChecked(false);
            break;
        }
        const QFileInfo Program(QString::fromStdString(Task->Item.ApplicationName));
        ImageTask->setPixmap(QFileIconProvider().icon(Program).pixmap(32, 32));
        abTaskName->setText(QString::fromStdString(Name));
        plat::TASK_TRIGGER T;
        if (Task->GetTrigger(0, T) == S_OK) {
            dtpStartTime->setTime(QTime(T.wStartHour, T.wStartMinute));
            SpinEditDays->setValue(T.DaysInterval);
        }
        break;
    }
}

void TFormOptions::SaveSchedule() {
    if (!SchedulingAgent) return;
    if (!cbActiveTask->isChecked()) {
        if (Task) {
            DeleteTask(ScheduledTaskName);
        } else if (SchedulingAgent->HasUnits(ScheduledTaskName) &&
                   SchedulingAgent->DeleteUnits(ScheduledTaskName) != S_OK) {
            // Units left by a job that could not be read would start the program for good.
            ShowRemovalFailure();
        }
        return;
    }
    plat::TASK_TRIGGER T;
    uint16_t Index = 0;
    if (!Task) {
        const std::string Program = plat::ProgramPath();
        if (!ProgramIsThere(Program, true) || SchedulingAgent->NewWorkItem(ScheduledTaskName, Task) != S_OK) return;
        Task->Item.ApplicationName = Program;
        Task->Item.WorkingDirectory = plat::ProgramFolder();
        Task->Item.Parameters = "-Scan";
        Task->Item.Flags = plat::TASK_FLAG_RUN_ONLY_IF_LOGGED_ON;
        Task->Item.Comment = "Runs Corvane at Scheduled Time.";
        GetCurrentUserName(Task->Item.AccountName);
        Task->Item.TaskFlags = 0;
        // Written once, with its trigger: an item without one would be a
        // half-made job if the second write failed.
        Task->CreateTrigger(Index);
    } else if (Task->GetTrigger(0, T) != S_OK) {
        Task->CreateTrigger(Index);  // a held item without a trigger gets one
    }
    const QDate Today = QDate::currentDate();
    T = plat::TASK_TRIGGER{};
    T.wBeginYear = uint16_t(Today.year());
    T.wBeginMonth = uint16_t(Today.month());
    T.wBeginDay = uint16_t(Today.day());
    T.wStartHour = uint16_t(dtpStartTime->time().hour());
    T.wStartMinute = uint16_t(dtpStartTime->time().minute());
    T.TriggerType = plat::TASK_TIME_TRIGGER_DAILY;
    T.DaysInterval = uint16_t(SpinEditDays->value());
    Task->SetTrigger(0, T);
    SaveTask();
}

void TFormOptions::cbActiveTaskClick() {
    const bool On = cbActiveTask->isChecked();
    const QTime Now = QTime::currentTime();
    dtpStartTime->setEnabled(On);
    dtpStartTime->setTime(On ? QTime(Now.hour(), Now.minute()) : DesignTime);
    SpinEditDays->setEnabled(On);
    SpinEditDays->setValue(1);
}
