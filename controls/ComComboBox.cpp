#include "controls/ComComboBox.h"

#include "serial/ExceptionHandler.h"

#include <utility>

void TComComboBox::TItems::Clear() {
    m_box.clear();
}

// Port names are file names: 8-bit, in the system's encoding.
void TComComboBox::TItems::Add(const std::string& item) {
    m_box.addItem(QString::fromLocal8Bit(item));
}

int TComComboBox::TItems::IndexOf(const std::string& item) const {
    return m_box.findText(QString::fromLocal8Bit(item), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

TComComboBox::TComComboBox(QWidget* parent, TPortLister listPorts)
    : QComboBox(parent), TComponent(nullptr), m_comSelect(m_items, std::move(listPorts)) {
    // A drop-down list only: the user may pick what is offered, never type a value.
    setEditable(false);
    // activated is the user's pick alone; currentIndexChanged would also fire for every
    // selection made from code (UpdateSettings, Text, ComProperty) and write the port back.
    connect(this, &QComboBox::activated, this, [this](int) { UserPicked(); });
}

void TComComboBox::SetComPort(TCustomComPort* value) {
    if (value == m_comSelect.ComPort)
        return;
    if (m_comSelect.ComPort != nullptr) {
        // Removal notices go both ways; dropping only one side would leave the other holding a
        // pointer that outlives the object.
        m_comSelect.ComPort->RemoveFreeNotification(this);
        RemoveFreeNotification(m_comSelect.ComPort);
    }
    m_comSelect.ComPort = value;
    if (value != nullptr) {
        value->FreeNotification(this);
        UpdateSettings();
    }
}

void TComComboBox::SetComProperty(TComProperty value) {
    m_comSelect.SetComProperty(value);
    if (count() == 0)
        return;
    int index = 0;
    if (ComPort() != nullptr)
        m_comSelect.UpdateSettings(index);
    setCurrentIndex(index);
}

QString TComComboBox::Text() const {
    const int index = currentIndex();
    return index < 0 ? QString() : itemText(index);
}

void TComComboBox::SetText(const QString& value) {
    const int index = findText(value, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        setCurrentIndex(index);
}

void TComComboBox::UpdateSettings() {
    // Without a port the selector leaves the position alone; so does this.
    int index = currentIndex();
    m_comSelect.UpdateSettings(index);
    setCurrentIndex(index);
}

void TComComboBox::ApplySettings() {
    m_comSelect.ApplySettings();
}

void TComComboBox::Change() {
    m_comSelect.Change(Text().toLocal8Bit().toStdString());
    if (OnChange)
        OnChange(this);
}

// The toolkit's own frames are below this call: a failure must not unwind through them, so it
// goes to the application's report, as any other failure of a handler does.
void TComComboBox::UserPicked() {
    try {
        Change();
    } catch (...) {
        HandleException(this);
    }
}

void TComComboBox::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
    if (operation == opRemove && component != nullptr && component == m_comSelect.ComPort) {
        m_comSelect.ComPort = nullptr;
        if (count() > 0)
            setCurrentIndex(0);
    }
}
