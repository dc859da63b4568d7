// Colour correction without the exponent, for the scenes whose "gamma" is 1
// (color_correct.fs with the pow left out: a software renderer pays dearly
// for it): "lift" added first, saturating at white as an additive layer drawn
// just before would, then contrast "con" about mid grey and a lift "lum".
// Texture coordinates need full precision: some drivers run mediump as
// 16-bit floats, which cannot address single pixels of a wide picture.
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform sampler2D tex0;
uniform vec3 lift;
uniform float con;
uniform float lum;
varying vec2 uv;

void main()
{
    vec3 c = min(texture2D(tex0, uv).rgb + lift, 1.0);
    c = (c - 0.5) * con + 0.5 + lum;
    gl_FragColor = vec4(clamp(c, 0.0, 1.0), 1.0);
}
