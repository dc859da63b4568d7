// Colour correction of a scene copy: "lift" added first (saturating at white,
// as an additive layer drawn just before would), contrast "con" about mid
// grey, a lift "lum", then "gamma" as the exponent of every channel (above 1
// deepens the mid tones, below 1 lifts them), the same sense as the final
// grade's. color_contrast.fs is the same without the exponent.
// Texture coordinates need full precision: some drivers run mediump as
// 16-bit floats, which cannot address single pixels of a wide picture.
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform sampler2D tex0;
uniform float gamma;
uniform float con;
uniform float lum;
uniform vec3 lift;
varying vec2 uv;

void main()
{
    vec3 c = min(texture2D(tex0, uv).rgb + lift, 1.0);
    c = (c - 0.5) * con + 0.5 + lum;
    c = pow(clamp(c, 0.0, 1.0), vec3(max(gamma, 0.01)));
    gl_FragColor = vec4(c, 1.0);
}
