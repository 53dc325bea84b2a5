#pragma once
// A small component base in the manner of a visual toolkit: an object with a class name, and
// components with an owner that frees them, a name, the loading and design states, `Loaded`
// once all properties are set, and removal notices to components that asked for them.
// Not thread-safe: components live on the UI thread.

#include <string>
#include <vector>

class TObject {
public:
    virtual ~TObject() = default;
    virtual const char* ClassName() const = 0;
};

enum TOperation { opInsert, opRemove };

class TComponent : public TObject {
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override; // frees the owned components, then tells the watchers
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    const char* ClassName() const override { return "TComponent"; }
    TComponent* Owner() const { return m_owner; }
    const std::string& Name() const { return m_name; }
    void SetName(const std::string& name) { m_name = name; }

    // While loading, properties are being read from a form description: setters only store.
    bool Loading() const { return m_loading; }
    // In a design environment a component never touches devices.
    bool Designing() const { return m_designing; }
    void SetDesigning(bool designing) { m_designing = designing; }
    // Marks the start of loading; Loaded ends it.
    void BeginLoading() { m_loading = true; }
    virtual void Loaded() { m_loading = false; }

    // `component` is told through Notification(this, opRemove) when this one is destroyed.
    void FreeNotification(TComponent* component);
    void RemoveFreeNotification(TComponent* component);

protected:
    virtual void Notification(TComponent* component, TOperation operation);
    // Tells the watchers now, while a derived destructor still has its members: they may call
    // back into this component (a lamp unregisters its link from a port going away).
    void SendRemovalNotices();

private:
    void InsertComponent(TComponent* component);
    void RemoveComponent(TComponent* component);

    TComponent* m_owner;
    std::string m_name;
    bool m_loading = false;
    bool m_designing = false;
    std::vector<TComponent*> m_components;   // owned
    std::vector<TComponent*> m_freeNotifies; // told of this one's removal, not owned
};
