#pragma once

namespace platform {

class ScrollView;
class View;

// What a zooming scroll view asks of its owner. GUI thread only.
class ScrollViewDelegate {
public:
    virtual ~ScrollViewDelegate() = default;
    // The subview that zooming scales; null means the scroll view does not zoom.
    virtual View* viewForZooming(ScrollView& scrollView) = 0;
    virtual void scrollViewDidZoom(ScrollView&) { }
};

} // namespace platform
