#pragma once
// Shaders of the GPU path. A pane texture holds the packed YUY2 picture as RGBA texels, one
// texel per pixel pair (r = Y0, g = U, b = Y1, a = V). The fragment shader converts with the
// same equations as the software path and filters linearly between whole pixels, so chroma is
// never blended across the pair boundary before conversion. Written for GLSL 1.10 / ES 2.0 so
// that any context Qt gives us runs it.

namespace orvel::gui::render {

inline constexpr const char* kYuy2VertexShader = R"(
attribute vec2 a_position;
attribute vec2 a_uv;
uniform vec4 u_uv_rect;  // the part of the picture shown: left, top, width, height (0..1)
varying vec2 v_uv;
void main() {
    v_uv = u_uv_rect.xy + a_uv * u_uv_rect.zw;
    gl_Position = vec4(a_position, 0.0, 1.0);
}
)";

inline constexpr const char* kYuy2FragmentShader = R"(
#ifdef GL_ES
precision highp float;
#endif
uniform sampler2D u_picture;
uniform vec2 u_size;  // picture size in pixels (even width)
varying vec2 v_uv;

vec3 pixel_rgb(vec2 px) {
    float pair = floor(px.x * 0.5);
    vec4 t = texture2D(u_picture, vec2((pair + 0.5) / (u_size.x * 0.5), (px.y + 0.5) / u_size.y));
    float y = (px.x - pair * 2.0 < 0.5 ? t.r : t.b) * 255.0;
    float u = t.g * 255.0 - 128.0;
    float v = t.a * 255.0 - 128.0;
    vec3 rgb = vec3(y + 1.402 * v, y - 0.34414 * u - 0.71414 * v, y + 1.772 * u);
    return clamp(rgb / 255.0, 0.0, 1.0);
}

void main() {
    vec2 p = v_uv * u_size - 0.5;
    vec2 p0 = floor(p);
    vec2 f = p - p0;
    vec2 last = u_size - 1.0;
    vec2 a = clamp(p0, vec2(0.0), last);
    vec2 b = clamp(p0 + 1.0, vec2(0.0), last);
    vec3 top = mix(pixel_rgb(a), pixel_rgb(vec2(b.x, a.y)), f.x);
    vec3 bottom = mix(pixel_rgb(vec2(a.x, b.y)), pixel_rgb(b), f.x);
    gl_FragColor = vec4(mix(top, bottom, f.y), 1.0);
}
)";

// Pictures converted before upload (a driver that draws on the processor): the texture holds
// B, G, R, X bytes per pixel and is filtered linearly by the sampler itself.
inline constexpr const char* kBgrxFragmentShader = R"(
#ifdef GL_ES
precision mediump float;
#endif
uniform sampler2D u_picture;
varying vec2 v_uv;
void main() {
    vec4 t = texture2D(u_picture, v_uv);
    gl_FragColor = vec4(t.b, t.g, t.r, 1.0);
}
)";

}  // namespace orvel::gui::render
