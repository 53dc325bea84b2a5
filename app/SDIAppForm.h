#pragma once
// The main window: three work pages (Flash, Firmware, Eeprom), each with its log, tool bar
// and lamps, and a Configuration page with the options. It owns every control on it and the
// receiver dialogue, which it serves as that dialogue's window; its handlers pass the
// receiver's events and the run's buttons and timers on to the dialogue.
//
// Everything here runs on the UI thread. The controls carry their names as object names, so
// that tests find them as a person finds them, by what they are.

#include "controls/ComLed.h"
#include "controls/ComSelect.h"
#include "receiver/DialogueWindow.h"
#include "receiver/ExternalWindows.h"
#include "receiver/KeptOptions.h"
#include "receiver/ReceiverDialogue.h"
#include "system/PosixImageFiles.h"

#include <QMainWindow>
#include <array>
#include <cstdint>
#include <memory>
#include <string>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QStatusBar;
class QTimer;
class TAboutBox;
class TComComboBox;
class TConfigurationControls;
class TComPort;
class TCSpinEdit;
class TDialogs;
class TPageControl;
class TSettingsStore;
class TImageList;
class TLogEdit;
class TOpenDialog;
class TToolBar;
class TToolButton;

// What the window reaches outside itself: the modal boxes, the settings store, the transfer
// program's window, the list of serial ports and the image files. The program passes the real
// ones; tests their fakes.
struct TServices {
    TDialogs& Dialogs;
    TSettingsStore& Settings;
    TExternalWindows& Windows;
    TPortLister ListPorts = EnumComPorts;
    const TImageFiles& Files = SystemImageFiles();
};

class TSDIAppForm : public QMainWindow, private TDialogueWindow {
    Q_OBJECT
public:
    explicit TSDIAppForm(TServices& services, QWidget* parent = nullptr);
    Q_DISABLE_COPY_MOVE(TSDIAppForm)
    ~TSDIAppForm() override;

    TReceiverDialogue& Dialogue() { return m_dialogue; }
    // Where the person keeps their own transfer program when the program is installed, with a
    // trailing separator.
    static std::string OwnProgramFolder();
    TComPort& Port() const { return *Dec; }
    TOpenDialog& FileDialog() const { return *OpenDialog; }
    TComComboBox& PortList() const { return *DecPort; }
    // Says in the status bar's second panel which call to the transfer program's window under
    // Wine is awaited, at once (the awaiting holds this thread); an empty call clears it.
    void ShowWaiting(const QString& call);

    // The three buttons of one role, in page order (Flash, Firmware, Eeprom).
    std::array<TToolButton*, 3> PortButtons() const;
    std::array<TToolButton*, 3> ChooseButtons() const;
    // Program buttons then erase buttons.
    std::array<TToolButton*, 6> RunButtons() const;
    std::array<TLogEdit*, 3> Logs() const;
    // The active page's log; the Configuration page has none, so its lines go to the Flash log.
    TLogEdit* ActivePageLog() const;

    void SetAboutBox(TAboutBox* aboutBox) { m_aboutBox = aboutBox; }

    // --- Handlers: the shell ------------------------------------------------------------------
    void FileExit1Execute(QObject* Sender);
    void FormClose(QObject* Sender);
    void CheckBox2Click(QObject* Sender);
    void ToolButton20Click(QObject* Sender);
    void HelpAbout1Execute(QObject* Sender);
    void FileOpen1Execute(QObject* Sender);
    // A page log's "Save log as..." (the log is the sender).
    void SaveLogAs(QObject* Sender);
    void LoadSettings();
    void SaveSettings();

    // --- Handlers: the receiver dialogue and the run --------------------------------------------
    void DecRxChar(TObject*, int32_t Count) { m_dialogue.DecRxChar(Count); }
    void DecAfterOpen(TObject*) { m_dialogue.DecAfterOpen(); }
    void DecAfterClose(TObject*) { m_dialogue.DecAfterClose(); }
    void DecPortChange(TObject*) { m_dialogue.DecPortChange(); }
    void ComLed3Change(TObject*, TLedState AState) { m_dialogue.ComLed3Change(AState == lsOn); }
    void ComLed5Change(TObject*, TLedState AState) { m_dialogue.ComLed5Change(AState == lsOn); }
    void ToolButton1Click(QObject*) { m_dialogue.ToolButton1Click(); }
    void PageControl1Changing(QObject*, bool& AllowChange) {
        AllowChange = m_dialogue.PageControl1Changing();
    }
    // The program buttons are told apart by their names.
    void ToolButton16Click(QObject* Sender);
    void ToolButton19Click(QObject*) { m_dialogue.ToolButton19Click(); }
    void Timer1Timer(QObject*) { m_dialogue.Timer1Timer(); }
    void Timer2Timer(QObject*) { m_dialogue.Timer2Timer(); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    QWidget* BuildWorkPage(int index);
    QWidget* BuildConfigurationPage();
    void BuildStatusBar();
    void BuildPort();
    QFrame* BuildLampPanel(int page);
    void BindHandlers();

    // --- The dialogue's window
    // --------------------------------------------------------------------
    TLog* PageLog(int32_t page) const override;
    int32_t ActivePage() const override;
    bool ShowFullCommunication() const override;
    bool AlwaysFreeze() const override;
    bool ConfirmDataLoading() const override;
    int32_t SendCommandDelay() const override;
    void SetRunButtonsEnabled(bool enabled) override;
    void SetToolBarEnabled(int32_t page, bool enabled) override;
    bool PortToggleDown() const override;
    void SetPortTogglesDown(bool down) override;
    void ShowPortOpen(bool open) override;
    bool DsrLampOn() const override;
    bool RlsdLampOn() const override;
    bool PortConnected() const override;
    std::string PortName() const override;
    void OpenPort() override;
    void ClosePort() override;
    int32_t ReadPort(char* buffer, int32_t count) override;
    void WritePort(const char* bytes, int32_t count) override;
    void ApplyPortChoice() override;
    bool AskYesNo(const std::string& caption, const std::string& text, TMsgIcon icon,
                  TMsgDefault preset) override;
    void SetTimerRunning(TRunTimer timer, bool running) override;
    bool TimerRunning(TRunTimer timer) const override;

    // --- Controls -------------------------------------------------------------------------------
    TPageControl* PageControl1 = nullptr;
    QWidget *TabSheet1 = nullptr, *TabSheet2 = nullptr, *TabSheet3 = nullptr, *TabSheet4 = nullptr;
    QGroupBox *GroupBox1 = nullptr, *GroupBox2 = nullptr, *GroupBox3 = nullptr;
    TLogEdit *RichEdit1 = nullptr, *RichEdit2 = nullptr, *RichEdit3 = nullptr;
    TToolBar *ToolBar1 = nullptr, *ToolBar2 = nullptr, *ToolBar3 = nullptr;
    // Flash page: open/close port, choose file, clear log, program, erase, exit.
    TToolButton *ToolButton1 = nullptr, *ToolButton3 = nullptr, *ToolButton20 = nullptr,
                *ToolButton16 = nullptr, *ToolButton19 = nullptr, *ToolButton4 = nullptr;
    // Firmware page, same roles.
    TToolButton *ToolButton5 = nullptr, *ToolButton7 = nullptr, *ToolButton23 = nullptr,
                *ToolButton17 = nullptr, *ToolButton24 = nullptr, *ToolButton8 = nullptr;
    // Eeprom page, same roles.
    TToolButton *ToolButton9 = nullptr, *ToolButton11 = nullptr, *ToolButton27 = nullptr,
                *ToolButton18 = nullptr, *ToolButton28 = nullptr, *ToolButton12 = nullptr;
    QFrame *Panel1 = nullptr, *Panel2 = nullptr, *Panel3 = nullptr; // lamp panels
    // Lamps, five a page: connection, CTS, DSR, Ring, RLSD.
    TComLed *ComLed1 = nullptr, *ComLed2 = nullptr, *ComLed3 = nullptr, *ComLed4 = nullptr,
            *ComLed5 = nullptr;
    TComLed *ComLed6 = nullptr, *ComLed7 = nullptr, *ComLed8 = nullptr, *ComLed9 = nullptr,
            *ComLed10 = nullptr;
    TComLed *ComLed11 = nullptr, *ComLed12 = nullptr, *ComLed13 = nullptr, *ComLed14 = nullptr,
            *ComLed15 = nullptr;

    // Configuration page.
    QGroupBox *GroupBox4 = nullptr, *GroupBox5 = nullptr;
    TComComboBox* DecPort = nullptr;
    QCheckBox* CheckBox1 = nullptr; // "Show full comunication"
    QCheckBox* CheckBox2 = nullptr; // "Show COM status"
    QCheckBox* CheckBox3 = nullptr; // "Confirm data loading"
    QCheckBox* CheckBox4 = nullptr; // "Open port at startup"
    QCheckBox* CheckBox5 = nullptr; // "Always freeze"
    TCSpinEdit* Spin1 = nullptr;    // "Send command delay", milliseconds

    QStatusBar* StatusBar = nullptr;
    QLabel* OperationPanel = nullptr; // the status bar's second panel
    QTimer* Timer1 = nullptr;         // 500 ms, the paste into the transfer program
    QTimer* Timer2 = nullptr;         // 30 s, the run's watchdog
    TOpenDialog* OpenDialog = nullptr;
    TImageList* ImageList1 = nullptr;
    TComPort* Dec = nullptr; // the receiver's serial port

    TServices& m_services;
    TDialogs& m_dialogs;
    TReceiverDialogue m_dialogue;
    TAboutBox* m_aboutBox = nullptr;
    bool m_outerSizeSet = false;
    bool m_closeRefused = false; // a close was refused because the settings could not be saved
    TKeptOptions m_keptOptions;
    std::unique_ptr<TConfigurationControls> m_optionControls; // over the Configuration page
};
