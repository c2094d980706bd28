// The design of the viewer window as data: its controls in tab order with their kind,
// frame, caption, position and size, start visibility and colour, and the window's own
// caption and size. The presenter (frmLogManager) keeps the state of these controls; a
// view (the Win32 one in platform/windows) builds the window from this table alone.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace tarvesk {

// The controls in tab order; the numeric value is the tab index.
enum class ControlId : int {
  Label1,
  txtPath,
  cmdFileManager,
  fmeFileSet,
  lstFileSet,
  fmeActions,
  lstAction,
  fmeDetails,
  lstDetails,
  fmeNextActions,
  cmdUndo,
  cmdRedo,
  cmdClose,
  chkDoAll,
};
inline constexpr int kControlCount = 14;

enum class ControlKind { Label, TextBox, CommandButton, Frame, ListBox, CheckBox };

// The fixed design of one control. Positions are twips (1,440 per inch); a control inside
// a frame is placed relative to the frame.
struct ControlLayout {
  ControlId id;
  const char* name;
  ControlKind kind;
  std::optional<ControlId> parent;  // the frame holding it; none for the window itself
  const char* caption;              // "" for controls without one
  int32_t left, top, width, height;
  int tabIndex;
  bool visibleAtStart;                // the control's own visibility
  bool readOnly;                      // text box
  std::optional<uint32_t> backColor;  // 0xRRGGBB; none for the system colour
};

inline constexpr const char* kWindowCaption = "Log Manager";
inline constexpr int32_t kClientWidthTwips = 11955;
inline constexpr int32_t kClientHeightTwips = 8430;

// The design of all controls, in tab order (index = ControlId).
const std::array<ControlLayout, kControlCount>& WindowLayout();
const ControlLayout& LayoutOf(ControlId id);

}  // namespace tarvesk
