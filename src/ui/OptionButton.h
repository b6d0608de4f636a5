#pragma once

// A compact multiple-choice control. Collapsed it shows its title and the chosen item; a tap
// opens it sideways into a row of every item (the chosen one in bold), and a tap on an item
// chooses it and collapses the row again. A change of choice is reported with the value-changed
// control event; receivers read selectedItem().
//
// Geometry, in points, with n items of width w, created at point (px, py):
//   collapsed frame (px, py, w + 64, 32), expanded frame (px, py, n × w + 64, 32);
//   title label (8, 9, 44, 16); item i while open (54 + i × w, −3, w, 39). Collapsed, the chosen
//   item sits at (54, −3, w, 39) and the others shrink to zero width on either side of it, so
//   the row can slide open from where they are.
//
// Threads: GUI thread only.

#include <cstdint>
#include <vector>

#include <QPointF>
#include <QRectF>
#include <QString>
#include <QStringList>

#include "platform/ui/Button.h"

namespace platform {
class Label;
} // namespace platform

namespace ui {

class OptionButton : public platform::Button {
public:
    static constexpr float defaultButtonWidth = 50.0f;

    // Starts collapsed on `selectedItem`. An index that is not below the item count is ignored:
    // the control then keeps index 0 with its row laid out open and expanded() true, so the first
    // tap acts as a tap on the open row.
    OptionButton(const QPointF& point, const QString& title, const QStringList& buttonNames,
        std::int32_t selectedItem, float buttonWidth);
    OptionButton(const QPointF& point, const QString& title, const QStringList& buttonNames,
        std::int32_t selectedItem);
    OptionButton(const QPointF& point, const QString& title, const QStringList& buttonNames);

    // Chooses item `index` and collapses the row (animated only while it is open). An index not
    // below the item count, negative ones included, is ignored. Sends value-changed only when the
    // chosen index actually changes.
    void setSelectedItem(std::int32_t index);
    std::int32_t selectedItem() const { return m_selectedItem; }

    // The control's own touch-up-inside action: opens the row when collapsed; when open, chooses
    // the item under the touch, and leaves the row open for a touch on the title or the margins.
    void chooseLabel(platform::Control& sender, const platform::Touch* event);

    bool expanded() const { return m_expanded; }
    void setExpanded(bool expanded) { m_expanded = expanded; }
    platform::Label& titleLabel() const { return *m_titleLabel; }
    // The item labels in item order (subviews of this control).
    const std::vector<platform::Label*>& labels() const { return m_labels; }
    QRectF frameExpanded() const { return m_frameExpanded; }
    void setFrameExpanded(const QRectF& frame) { m_frameExpanded = frame; }
    QRectF frameShrunk() const { return m_frameShrunk; }
    void setFrameShrunk(const QRectF& frame) { m_frameShrunk = frame; }
    float buttonWidth() const { return m_buttonWidth; }
    void setButtonWidth(float width) { m_buttonWidth = width; }

    // Scripted control: taps the control open if needed, then taps item `index`.
    bool chooseItemForScript(int index) override;

private:
    QRectF openItemFrame(std::size_t i) const;
    void tapAt(const QPointF& point);

    bool m_expanded { false };
    platform::Label* m_titleLabel { nullptr }; // owned as a subview
    QRectF m_frameExpanded;
    QRectF m_frameShrunk;
    float m_buttonWidth { defaultButtonWidth };
    std::int32_t m_selectedItem { 0 };
    std::vector<platform::Label*> m_labels; // owned as subviews
};

} // namespace ui
