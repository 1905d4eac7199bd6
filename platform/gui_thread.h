// What a GUI thread needs from the platform: a single-threaded COM
// apartment for its life, and the once-per-process GUI preparation.
#pragma once

namespace platform {

class SingleThreadedApartment {
public:
    SingleThreadedApartment();
    ~SingleThreadedApartment();
    SingleThreadedApartment(const SingleThreadedApartment&) = delete;
    SingleThreadedApartment& operator=(const SingleThreadedApartment&) = delete;

    bool entered() const { return entered_; }

private:
    bool entered_ = false;  // CoInitializeEx succeeded (Windows)
};

// Once per process, before the first window: the common controls with
// their visual styles. Later calls do nothing.
void prepare_gui_once();

}  // namespace platform
