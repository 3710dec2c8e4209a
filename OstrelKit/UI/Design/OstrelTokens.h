#pragma once

// The kit's layout measures. Values are in points, which on this platform are device-independent pixels
// (Qt's logical pixels). The order is the declaration order of the design system and is not ascending
// everywhere: a field label (15.5) is larger than a title (14), and radiusFull is a large constant that
// clamps a rounded rectangle to a capsule, not a half-height.
namespace ostrel::OstrelTokens {

// Type sizes.
inline constexpr double sizeCaption = 7;
inline constexpr double sizeLabel = 9;
inline constexpr double sizeMono = 10;
inline constexpr double sizeBody = 11.5;
inline constexpr double sizeControl = 13;
inline constexpr double sizeFieldLabel = 15.5;
inline constexpr double sizeSection = 12.5;
inline constexpr double sizeTitle = 14;

// Spacings.
inline constexpr double spacingTight = 4;
inline constexpr double spacingNormal = 8;
inline constexpr double spacingSection = 14;
inline constexpr double spacingPanel = 10;

// Corner radii.
inline constexpr double radiusXS = 2;
inline constexpr double radiusSmall = 4;
inline constexpr double radiusMed = 6;
inline constexpr double radiusLarge = 10;
inline constexpr double radiusXL = 16;
inline constexpr double radiusFull = 9999;

// Layout sizes.
inline constexpr double sidebarMinWidth = 300;
inline constexpr double sidebarDefaultWidth = 340;
inline constexpr double bottomBarHeight = 32;
inline constexpr double presetStripHeight = 24;
inline constexpr double collapseStripWidth = 18;

} // namespace ostrel::OstrelTokens
