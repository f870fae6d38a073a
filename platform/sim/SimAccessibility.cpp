#include "sim/SimAccessibility.h"

#include <algorithm>

namespace murmelo::sim {
namespace {

struct SimAXElement : AXElement {
    std::weak_ptr<SimField> field;
    qint64 pid = 0;
    bool application = false;
    // Reached through a window's tree: it stops answering when its application quits.
    bool inTree = false;
    float timeout = 0;
};

const SimAXElement* simElement(const AXElement& el) { return dynamic_cast<const SimAXElement*>(&el); }


QVariant fail(AXError* error, AXError code) {
    if (error) *error = code;
    return {};
}

}  // namespace

AXElementPtr SimAccessibility::elementFor(const std::shared_ptr<SimField>& field) {
    auto el = std::make_shared<SimAXElement>();
    el->field = field;
    if (SimApp* owner = desktop_.ownerOf(field.get())) el->pid = owner->identity.pid;
    return el;
}

AXElementPtr SimAccessibility::focusedElement(AXError* error) {
    SimApp* front = desktop_.front();
    if (!front || !front->focused || front->accessibilityAsleep) {
        fail(error, AXError::noValue);
        return nullptr;
    }
    if (error) *error = AXError::success;
    auto el = std::make_shared<SimAXElement>();
    el->field = front->focused;
    el->pid = front->identity.pid;
    return el;
}

AXElementPtr SimAccessibility::applicationElement(qint64 pid) {
    if (!desktop_.appByPid(pid)) return nullptr;
    auto el = std::make_shared<SimAXElement>();
    el->pid = pid;
    el->application = true;
    return el;
}

AXElementPtr SimAccessibility::focusedElementOf(const AXElement& application, AXError* error) {
    const SimAXElement* e = simElement(application);
    SimApp* a = e && e->application ? desktop_.appByPid(e->pid) : nullptr;
    if (!a) {
        fail(error, AXError::invalidUIElement);
        return nullptr;
    }
    if (a->focusReadDelay > 0) {
        const double waited = e->timeout > 0 ? std::min<double>(e->timeout, a->focusReadDelay) : a->focusReadDelay;
        if (onBlockingRead) onBlockingRead(waited);
        if (e->timeout > 0 && a->focusReadDelay > e->timeout) {
            fail(error, AXError::cannotComplete);
            return nullptr;
        }
    }
    if (error) *error = AXError::success;
    if (!a->focused || a->accessibilityAsleep) return nullptr;
    auto el = std::make_shared<SimAXElement>();
    el->field = a->focused;
    el->pid = a->identity.pid;
    return el;
}

std::shared_ptr<SimField> SimAccessibility::fieldOf(const AXElement& el, AXError* error) {
    const SimAXElement* e = simElement(el);
    std::shared_ptr<SimField> f = e && !e->application ? e->field.lock() : nullptr;
    if (f && e->inTree) {
        const SimApp* owner = desktop_.appByPid(e->pid);
        if (!owner || !owner->running) f = nullptr;
    }
    if (!f) fail(error, e && e->application ? AXError::attributeUnsupported : AXError::invalidUIElement);
    return f;
}

AXElementPtr SimAccessibility::treeElement(const std::shared_ptr<SimField>& field, qint64 pid) {
    auto el = std::make_shared<SimAXElement>();
    el->field = field;
    el->pid = pid;
    el->inTree = true;
    return el;
}

AXElementPtr SimAccessibility::windowOf(const AXElement& application, WindowKind kind, AXError* error) {
    ++reads;
    const SimAXElement* e = simElement(application);
    SimApp* a = e && e->application ? desktop_.appByPid(e->pid) : nullptr;
    if (!a || !a->running) {
        fail(error, AXError::invalidUIElement);
        return nullptr;
    }
    const auto& window = kind == WindowKind::focused ? a->focusedWindow : a->mainWindow;
    if (!window) {
        fail(error, AXError::noValue);
        return nullptr;
    }
    if (error) *error = AXError::success;
    return treeElement(window, a->identity.pid);
}

std::vector<AXElementPtr> SimAccessibility::children(const AXElement& el, AXError* error) {
    ++reads;
    auto f = fieldOf(el, error);
    if (!f) return {};
    if (error) *error = AXError::success;
    std::vector<AXElementPtr> out;
    out.reserve(f->children.size());
    for (const auto& child : f->children) out.push_back(treeElement(child, simElement(el)->pid));
    return out;
}

QVariant SimAccessibility::attribute(const AXElement& el, const QString& name, AXError* error) {
    ++reads;
    auto f = fieldOf(el, error);
    if (!f) return {};
    if (f->readDelay > 0) {
        const float timeout = simElement(el)->timeout;
        const bool tooSlow = timeout > 0 && f->readDelay > timeout;
        if (onBlockingRead) onBlockingRead(tooSlow ? double(timeout) : f->readDelay);
        if (tooSlow) return fail(error, AXError::cannotComplete);
    }
    if (error) *error = AXError::success;
    if (name == AXNames::role) return f->role;
    if (name == AXNames::subrole) {
        if (!f->subrole.isEmpty()) return f->subrole;
        if (f->secure && f->role != AXNames::secureTextFieldRole) return AXNames::secureTextFieldRole;
        return fail(error, AXError::noValue);
    }
    if (name == AXNames::editable) return f->editable;
    if (!f->exposesText && (name == AXNames::value || name == AXNames::selectedRange || name == AXNames::selectedText))
        return fail(error, AXError::attributeUnsupported);
    if (name == AXNames::title) return f->title.isEmpty() ? fail(error, AXError::noValue) : QVariant(f->title);
    if (name == AXNames::description)
        return f->description.isEmpty() ? fail(error, AXError::noValue) : QVariant(f->description);
    if (name == AXNames::value) {
        if (!f->valueReadable) return fail(error, AXError::noValue);
        if (f->otherValue.isValid()) return f->otherValue;
        // Password fields show only bullets.
        if (f->secure) return QString(f->value.size(), QChar(0x2022));
        auto p = pending_.find(f.get());
        if (p != pending_.end()) {
            if (p->second.readsLeft > 0) {
                --p->second.readsLeft;
            } else {
                Pending done = p->second;
                pending_.erase(p);
                apply(*f, done.value, done.selectionStart);
            }
        }
        return f->value;
    }
    if (name == AXNames::selectedRange) {
        if (!f->selectionReadable) return fail(error, AXError::noValue);
        return QVariant::fromValue(AXRange{f->selectionStart, f->selectionLength});
    }
    if (name == AXNames::selectedText) {
        if (f->secure) return fail(error, AXError::noValue);
        return f->selectedText();
    }
    if (name == AXNames::placeholder) {
        if (!f->placeholder) return fail(error, AXError::noValue);
        return *f->placeholder;
    }
    return fail(error, AXError::attributeUnsupported);
}

void SimAccessibility::apply(SimField& field, const QString& newValue, qsizetype caret) {
    field.value = newValue;
    field.select(caret);
}

AXError SimAccessibility::setAttribute(const AXElement& el, const QString& name, const QVariant& value) {
    ++writes;
    const SimAXElement* e = simElement(el);
    if (e && e->application) {
        if (name != AXNames::manualAccessibility) return AXError::attributeUnsupported;
        SimApp* a = desktop_.appByPid(e->pid);
        if (!a) return AXError::invalidUIElement;
        a->accessibilityAsleep = false;
        return AXError::success;
    }
    AXError error = AXError::success;
    auto f = fieldOf(el, &error);
    if (!f) return error;
    if (name == AXNames::selectedRange) {
        if (!value.canConvert<AXRange>()) return AXError::illegalArgument;
        const AXRange r = value.value<AXRange>();
        if (r.location < 0 || r.length < 0 || r.location + r.length > f->value.size()) return AXError::illegalArgument;
        if (!f->ignoresSelectionWrites) f->select(r.location, r.length);
        return AXError::success;
    }
    const bool selected = name == AXNames::selectedText;
    if (!selected && name != AXNames::value) return AXError::attributeUnsupported;
    if (!f->editable || f->secure || !(selected ? f->selectedTextSettable : f->valueSettable))
        return AXError::attributeUnsupported;
    if (f->refusesWrites) return AXError::cannotComplete;
    if (f->ignoresWrites) return AXError::success;
    const QString text = value.toString();
    QString next = f->value;
    qsizetype caret = 0;
    if (selected) {
        next.replace(f->selectionStart, f->selectionLength, text);
        caret = f->selectionStart + text.size();
    } else {
        next = text;
        caret = text.size();  // a whole-value write leaves the caret at the end
    }
    if (f->writeLagReads > 0) {
        pending_[f.get()] = Pending{next, caret, f->writeLagReads};
        return AXError::success;
    }
    apply(*f, next, caret);
    return AXError::success;
}

AXError SimAccessibility::isAttributeSettable(const AXElement& el, const QString& name, bool* settable) {
    if (settable) *settable = false;
    AXError error = AXError::success;
    auto f = fieldOf(el, &error);
    if (!f) return error;
    bool answer = false;
    if (name == AXNames::selectedRange) answer = true;
    else if (name == AXNames::selectedText) answer = f->editable && !f->secure && f->selectedTextSettable;
    else if (name == AXNames::value) answer = f->editable && !f->secure && f->valueSettable;
    if (settable) *settable = answer;
    return AXError::success;
}

AXElementPtr SimAccessibility::elementAtPoint(const AXElement& application, QPointF point, AXError* error) {
    ++reads;
    const SimAXElement* e = simElement(application);
    SimApp* a = e && e->application ? desktop_.appByPid(e->pid) : nullptr;
    if (!a) {
        fail(error, AXError::invalidUIElement);
        return nullptr;
    }
    // The field added last lies on top.
    for (auto it = a->fields.rbegin(); it != a->fields.rend(); ++it) {
        if ((*it)->frame && (*it)->frame->contains(point)) {
            if (error) *error = AXError::success;
            return elementFor(*it);
        }
    }
    fail(error, AXError::noValue);
    return nullptr;
}

AXElementPtr SimAccessibility::parent(const AXElement& el, AXError* error) {
    ++reads;
    auto f = fieldOf(el, error);
    if (!f) return nullptr;
    if (!f->parent) {
        fail(error, AXError::noValue);
        return nullptr;
    }
    if (error) *error = AXError::success;
    return elementFor(f->parent);
}

std::optional<QRectF> SimAccessibility::boundsForRange(const AXElement& el, AXRange range, AXError* error) {
    ++reads;
    auto f = fieldOf(el, error);
    if (!f) return std::nullopt;
    if (!f->frame || range.location < 0 || range.location + range.length > f->value.size() + 1) {
        fail(error, AXError::noValue);
        return std::nullopt;
    }
    if (error) *error = AXError::success;
    const QRectF& fr = *f->frame;
    return QRectF(fr.x() + 8.0 * double(range.location), fr.y(), 8.0 * double(range.length), fr.height());
}

std::optional<qint64> SimAccessibility::pid(const AXElement& el) {
    const SimAXElement* e = simElement(el);
    if (!e || e->pid == 0) return std::nullopt;
    return e->pid;
}

AXError SimAccessibility::setMessagingTimeout(const AXElement& el, float seconds) {
    auto* e = const_cast<SimAXElement*>(simElement(el));
    if (!e) return AXError::illegalArgument;
    e->timeout = seconds;
    return AXError::success;
}

float SimAccessibility::messagingTimeout(const AXElement& el) {
    const SimAXElement* e = simElement(el);
    return e ? e->timeout : 0.0f;
}

void SimAccessibility::settle(double) { ++settles; }

bool SimAccessibility::reportsEmptyValueReliably(const AXElement& el) {
    AXError error = AXError::success;
    const auto f = fieldOf(el, &error);
    return f && f->emptyValueReliable;
}

bool SimAccessibility::sameElement(const AXElement& a, const AXElement& b) {
    const SimAXElement* x = simElement(a);
    const SimAXElement* y = simElement(b);
    if (!x || !y) return &a == &b;
    if (x->application || y->application) return x->application == y->application && x->pid == y->pid;
    const auto fx = x->field.lock();
    return fx && fx == y->field.lock();
}

}  // namespace murmelo::sim
