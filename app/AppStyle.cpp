#include "app/AppStyle.h"

#include <QIconEngine>
#include <QPainter>
#include <QPointer>
#include <QStyleOption>
#include <functional>
#include <memory>
#include <optional>

namespace {

// An icon that asks for its pictures on first use. Copies share what was fetched.
class TDeferredIconEngine : public QIconEngine {
public:
    explicit TDeferredIconEngine(std::function<QIcon()> fetch)
        : m_shared(std::make_shared<TShared>(std::move(fetch))) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
               QIcon::State state) override {
        Icon().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    // Asked for device pixels: the fetched icon must not scale them again.
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return Icon().pixmap(size, 1.0, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state,
                         qreal scale) override {
        return Icon().pixmap(size / scale, scale, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        return Icon().actualSize(size, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override {
        return Icon().availableSizes(mode, state);
    }
    bool isNull() override { return Icon().isNull(); }
    QString key() const override { return QStringLiteral("TDeferredIconEngine"); }
    QIconEngine* clone() const override { return new TDeferredIconEngine(*this); }

private:
    struct TShared {
        explicit TShared(std::function<QIcon()> fetch) : Fetch(std::move(fetch)) {}
        std::function<QIcon()> Fetch;
        QIcon Icon;
        bool Fetched = false;
    };

    const QIcon& Icon() {
        if (!m_shared->Fetched) {
            m_shared->Fetched = true;
            m_shared->Icon = m_shared->Fetch();
            m_shared->Fetch = nullptr;
        }
        return m_shared->Icon;
    }

    std::shared_ptr<TShared> m_shared;
};

} // namespace

TAppStyle::TAppStyle() = default;

QIcon TAppStyle::standardIcon(StandardPixmap standardIcon, const QStyleOption* option,
                              const QWidget* widget) const {
    if (standardIcon != SP_ToolBarHorizontalExtensionButton &&
        standardIcon != SP_ToolBarVerticalExtensionButton)
        return QProxyStyle::standardIcon(standardIcon, option, widget);
    // The arrow follows the layout direction, from the option or else the application. The
    // option is kept as it is now; the widget and the object it names are not kept, they may be
    // gone by then. A style replaced meanwhile leaves no arrow.
    std::optional<QStyleOption> kept;
    if (option != nullptr) {
        kept = *option;
        kept->styleObject = nullptr;
    }
    const QPointer<const TAppStyle> style(this);
    return QIcon(new TDeferredIconEngine([style, standardIcon, kept] {
        return style ? style->QProxyStyle::standardIcon(standardIcon, kept ? &*kept : nullptr)
                     : QIcon();
    }));
}
