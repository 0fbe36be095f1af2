#include "tdkit/ui/customcontrols.h"

#include <QHash>
#include <QVariant>
#include <QWidget>

#include <mutex>

namespace {

struct ClassTable {
    std::mutex mutex;
    QHash<QString, std::pair<ATOM, ControlFactory>> classes;
    ATOM next = 0xC000;  // atoms of registered classes start here
};

ClassTable& Table() {
    static ClassTable table;
    return table;
}

constexpr char kIdProperty[] = "tdControlId";

}  // namespace

ATOM RegisterControlClass(const QString& className, ControlFactory factory) {
    if (className.isEmpty() || !factory)
        return 0;
    ClassTable& t = Table();
    std::lock_guard lock(t.mutex);
    const QString key = className.toLower();
    auto it = t.classes.find(key);
    if (it != t.classes.end()) {
        it->second = std::move(factory);
        return it->first;
    }
    const ATOM atom = t.next++;
    t.classes.insert(key, {atom, std::move(factory)});
    return atom;
}

bool IsControlClassRegistered(const QString& className) {
    std::lock_guard lock(Table().mutex);
    return Table().classes.contains(className.toLower());
}

QWidget* CreateCustomControl(const QString& className, QWidget* parent, const QString& text,
                             DWORD style, int controlId) {
    ControlFactory factory;
    {
        std::lock_guard lock(Table().mutex);
        auto it = Table().classes.constFind(className.toLower());
        if (it == Table().classes.constEnd())
            return nullptr;
        factory = it->second;
    }
    QWidget* w = factory(parent, text, style);
    if (w)
        SetControlId(w, controlId);
    return w;
}

void SetControlId(QWidget* control, int id) {
    control->setProperty(kIdProperty, id);
}

int GetControlId(const QWidget* control) {
    return control->property(kIdProperty).toInt();
}
