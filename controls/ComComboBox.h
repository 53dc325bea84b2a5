#pragma once
// A drop-down list of the possible values of one serial port setting (which one is its
// ComProperty), showing the port's present value and able to write the user's pick into it.
// The setting logic is the selector's; this class is the widget around it. UI thread only.

#include "controls/ComSelect.h"
#include "serial/ComPort.h"
#include "serial/Component.h"

#include <QComboBox>
#include <QString>

class TComComboBox : public QComboBox, public TComponent {
    Q_OBJECT
public:
    // `listPorts` gives the names offered under cpPort; the system's devices unless a test
    // needs a list of its own.
    explicit TComComboBox(QWidget* parent = nullptr, TPortLister listPorts = EnumComPorts);

    const char* ClassName() const override { return "TComComboBox"; }

    TCustomComPort* ComPort() const { return m_comSelect.ComPort; }
    // Watches the port for its removal and shows its present value.
    void SetComPort(TCustomComPort* value);
    TComProperty ComProperty() const { return m_comSelect.ComProperty(); }
    // Refills the list (under cpPort from the system's devices as they are now) and selects
    // the port's present value, or the first item when there is no port.
    void SetComProperty(TComProperty value);
    bool AutoApply() const { return m_comSelect.AutoApply; }
    void SetAutoApply(bool value) { m_comSelect.AutoApply = value; }

    // The selected item, or "" when none is selected.
    QString Text() const;
    // Selects the item with this text; an unlisted text changes nothing.
    void SetText(const QString& value);

    // Selects the port's present value (no selection when it is not listed).
    void UpdateSettings();
    // Writes the chosen value into the port.
    void ApplySettings();

    // Runs after a pick by the user, once the chosen value is stored (and, under AutoApply,
    // written). Selecting from code never runs it.
    TNotifyEvent OnChange;

protected:
    // The user picked an item: store it, apply it under AutoApply, then tell the owner.
    // Failures from the port reach the caller.
    virtual void Change();
    void Notification(TComponent* component, TOperation operation) override;

private:
    // The widget's own items, as the selector reads and writes them.
    class TItems final : public TComItems {
    public:
        explicit TItems(QComboBox& box) : m_box(box) {}
        void Clear() override;
        void Add(const std::string& item) override;
        int IndexOf(const std::string& item) const override;

    private:
        QComboBox& m_box;
    };

    void UserPicked();

    TItems m_items{*this};
    TComSelect m_comSelect;
};
