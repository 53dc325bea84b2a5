#include "serial/Component.h"

#include <algorithm>

TComponent::TComponent(TComponent* owner) : m_owner(owner) {
    if (m_owner != nullptr)
        m_owner->InsertComponent(this);
}

TComponent::~TComponent() {
    // Owned components go first, last created first; each leaves the list as it goes.
    while (!m_components.empty())
        delete m_components.back();
    SendRemovalNotices();
    if (m_owner != nullptr)
        m_owner->RemoveComponent(this);
}

void TComponent::SendRemovalNotices() {
    while (!m_freeNotifies.empty()) {
        TComponent* watcher = m_freeNotifies.back();
        m_freeNotifies.pop_back();
        watcher->RemoveFreeNotification(this);
        watcher->Notification(this, opRemove);
    }
}

void TComponent::FreeNotification(TComponent* component) {
    if (component == nullptr || component == this)
        return;
    if (std::find(m_freeNotifies.begin(), m_freeNotifies.end(), component) == m_freeNotifies.end())
        m_freeNotifies.push_back(component);
    // Both sides watch each other, so neither keeps a dangling pointer.
    if (std::find(component->m_freeNotifies.begin(), component->m_freeNotifies.end(), this) ==
        component->m_freeNotifies.end())
        component->m_freeNotifies.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
    if (component == nullptr)
        return;
    std::erase(m_freeNotifies, component);
    std::erase(component->m_freeNotifies, this);
}

void TComponent::Notification(TComponent* component, TOperation operation) {
    if (operation == opRemove)
        std::erase(m_components, component);
}

void TComponent::InsertComponent(TComponent* component) {
    m_components.push_back(component);
}

void TComponent::RemoveComponent(TComponent* component) {
    std::erase(m_components, component);
    Notification(component, opRemove);
}
