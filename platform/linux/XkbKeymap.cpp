#include "linux/XkbKeymap.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XKBrules.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstdlib>

namespace murmelo::linuxdesktop {

std::atomic<unsigned long>& XkbKeymap::serverChanges() {
    static std::atomic<unsigned long> changes{0};
    return changes;
}

XkbKeymap::~XkbKeymap() {
    if (desc_) XkbFreeKeyboard(desc_, XkbAllComponentsMask, True);
}

bool XkbKeymap::load(Display* dpy) {
    XkbDescPtr d = XkbGetMap(dpy, XkbAllClientInfoMask, XkbUseCoreKbd);
    if (!d) return false;
    if (desc_) XkbFreeKeyboard(desc_, XkbAllComponentsMask, True);
    desc_ = d;
    return true;
}

int XkbKeymap::minKeycode() const { return desc_ ? desc_->min_key_code : 0; }
int XkbKeymap::maxKeycode() const { return desc_ ? desc_->max_key_code : -1; }

unsigned long XkbKeymap::keysym(int keycode, int group, int level) const {
    if (!desc_ || keycode < desc_->min_key_code || keycode > desc_->max_key_code) return NoSymbol;
    const int groups = XkbKeyNumGroups(desc_, keycode);
    if (groups <= 0 || group < 0 || level < 0) return NoSymbol;
    if (group >= groups) {
        const unsigned char info = XkbKeyGroupInfo(desc_, keycode);
        switch (XkbOutOfRangeGroupAction(info)) {
        case XkbClampIntoRange: group = groups - 1; break;
        case XkbRedirectIntoRange: group = XkbOutOfRangeGroupNumber(info); break;
        default: group %= groups; break;
        }
        if (group >= groups) group = 0;
    }
    if (level >= XkbKeyGroupWidth(desc_, keycode, group)) return NoSymbol;
    return XkbKeySymEntry(desc_, keycode, level, group);
}

unsigned long XkbKeymap::produced(int keycode, int group, bool shift, bool levelThree) const {
    if (!desc_ || keycode < desc_->min_key_code || keycode > desc_->max_key_code) return NoSymbol;
    const unsigned mods = (shift ? ShiftMask : 0) | (levelThree ? Mod5Mask : 0);
    unsigned modsUsed = 0;
    KeySym sym = NoSymbol;
    if (!XkbTranslateKeyCode(desc_, static_cast<KeyCode>(keycode), XkbBuildCoreState(mods, group), &modsUsed, &sym))
        return NoSymbol;
    return sym;
}

bool XkbKeymap::isEmpty(int keycode) const {
    if (!desc_ || keycode < desc_->min_key_code || keycode > desc_->max_key_code) return false;
    return XkbKeyNumSyms(desc_, keycode) == 0 ||
           std::all_of(XkbKeySymsPtr(desc_, keycode), XkbKeySymsPtr(desc_, keycode) + XkbKeyNumSyms(desc_, keycode),
                       [](KeySym s) { return s == NoSymbol; });
}

std::vector<XkbKeymap::Place> XkbKeymap::find(char32_t c, int preferredGroup) const {
    std::vector<Place> out;
    if (!desc_) return out;
    const unsigned long want = keysymFor(c);
    if (want == NoSymbol) return out;
    for (int kc = desc_->min_key_code; kc <= desc_->max_key_code; ++kc) {
        const int groups = XkbKeyNumGroups(desc_, kc);
        for (int g = 0; g < groups; ++g) {
            const int width = XkbKeyGroupWidth(desc_, kc, g);
            for (int l = 0; l < width && l < 4; ++l)
                if (XkbKeySymEntry(desc_, kc, l, g) == want) out.push_back({kc, g, l});
        }
    }
    // Keypad keys give digits only with Num Lock; prefer the main block.
    std::stable_sort(out.begin(), out.end(), [&](const Place& a, const Place& b) {
        auto rank = [&](const Place& p) {
            const KeySym plain = XkbKeySymEntry(desc_, p.keycode, 0, p.group);
            const bool keypad = plain >= 0xff80 && plain <= 0xffbd;
            return (p.group == preferredGroup ? 0 : 100) + (keypad ? 10 : 0) + p.level;
        };
        return rank(a) < rank(b);
    });
    return out;
}

bool XkbKeymap::isDeadKeysym(unsigned long keysym) { return keysym >= 0xfe50 && keysym <= 0xfe93; }

QString XkbKeymap::text(unsigned long keysym) {
    if (keysym == NoSymbol || isDeadKeysym(keysym)) return {};
    char buf[16];
    const int n = xkb_keysym_to_utf8(static_cast<xkb_keysym_t>(keysym), buf, sizeof buf);
    if (n <= 1) return {};
    const QString s = QString::fromUtf8(buf, n - 1);
    // Control characters (Return, Tab, BackSpace...) are keys, not text.
    if (s.size() == 1 && s.at(0).unicode() < 0x20) return {};
    return s;
}

unsigned long XkbKeymap::keysymFor(char32_t c) { return xkb_utf32_to_keysym(static_cast<uint32_t>(c)); }

QStringList xkbLayoutIds(Display* dpy) {
    QStringList ids;
    XkbRF_VarDefsRec vd{};
    char* rules = nullptr;
    if (!XkbRF_GetNamesProp(dpy, &rules, &vd)) return ids;
    const QStringList layouts = QString::fromLatin1(vd.layout ? vd.layout : "").split(QLatin1Char(','));
    const QStringList variants = QString::fromLatin1(vd.variant ? vd.variant : "").split(QLatin1Char(','));
    for (int i = 0; i < layouts.size(); ++i) {
        const QString layout = layouts[i].trimmed();
        if (layout.isEmpty()) continue;
        const QString variant = variants.value(i).trimmed();
        ids << QStringLiteral("xkb:") + layout + (variant.isEmpty() ? QString() : QLatin1Char('(') + variant + QLatin1Char(')'));
    }
    std::free(rules);
    std::free(vd.model);
    std::free(vd.layout);
    std::free(vd.variant);
    std::free(vd.options);
    return ids;
}

QStringList xkbGroupNames(Display* dpy) {
    QStringList names;
    XkbDescPtr d = XkbAllocKeyboard();
    if (!d) return names;
    if (XkbGetNames(dpy, XkbGroupNamesMask, d) == Success && d->names) {
        for (int i = 0; i < XkbNumKbdGroups; ++i) {
            const Atom a = d->names->groups[i];
            if (a == None) break;
            char* s = XGetAtomName(dpy, a);
            names << QString::fromUtf8(s ? s : "");
            if (s) XFree(s);
        }
    }
    XkbFreeKeyboard(d, 0, True);
    return names;
}

}  // namespace murmelo::linuxdesktop
