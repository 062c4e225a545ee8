// CoreGraphics geometry: points, sizes, rectangles and 2-D affine transforms.
//
// All values are doubles (CGFloat on a 64-bit device). The functions are pure and
// may be called from any thread.
#pragma once

namespace platform::graphics {

using CGFloat = double;

struct CGPoint {
  CGFloat x = 0;
  CGFloat y = 0;
};

struct CGSize {
  CGFloat width = 0;
  CGFloat height = 0;
};

struct CGRect {
  CGPoint origin;
  CGSize size;
};

inline CGPoint CGPointMake(CGFloat x, CGFloat y) { return {x, y}; }
inline CGSize CGSizeMake(CGFloat width, CGFloat height) { return {width, height}; }
inline CGRect CGRectMake(CGFloat x, CGFloat y, CGFloat width, CGFloat height) {
  return {{x, y}, {width, height}};
}

// The transform (a, b, c, d, tx, ty) maps a point (x, y) to
// (a·x + c·y + tx, b·x + d·y + ty).
struct CGAffineTransform {
  CGFloat a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
};

inline constexpr CGAffineTransform CGAffineTransformIdentity{1, 0, 0, 1, 0, 0};

CGAffineTransform CGAffineTransformMake(CGFloat a, CGFloat b, CGFloat c, CGFloat d, CGFloat tx,
                                        CGFloat ty);
CGAffineTransform CGAffineTransformMakeTranslation(CGFloat tx, CGFloat ty);
CGAffineTransform CGAffineTransformMakeScale(CGFloat sx, CGFloat sy);
// A rotation by `angle` radians: (x, y) -> (x·cos − y·sin, x·sin + y·cos).
CGAffineTransform CGAffineTransformMakeRotation(CGFloat angle);

// The transform that applies `t1` first and `t2` afterwards.
CGAffineTransform CGAffineTransformConcat(const CGAffineTransform& t1, const CGAffineTransform& t2);

// The platform's building rule: the new translation, rotation or scaling is applied
// to a point first and `t` afterwards, i.e. Concat(Make...(...), t).
CGAffineTransform CGAffineTransformTranslate(const CGAffineTransform& t, CGFloat tx, CGFloat ty);
CGAffineTransform CGAffineTransformRotate(const CGAffineTransform& t, CGFloat angle);
CGAffineTransform CGAffineTransformScale(const CGAffineTransform& t, CGFloat sx, CGFloat sy);

// The inverse of `t`; `t` itself when it is not invertible, as the platform answers.
CGAffineTransform CGAffineTransformInvert(const CGAffineTransform& t);

CGPoint CGPointApplyAffineTransform(CGPoint p, const CGAffineTransform& t);

// Exact comparison of all six values.
bool CGAffineTransformEqualToTransform(const CGAffineTransform& t1, const CGAffineTransform& t2);

}  // namespace platform::graphics
