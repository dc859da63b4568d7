// Drunken double vision: the picture swims and splits into a warm ghost.
// "time" is the strength: 0 is the sharp picture alone, the ghost is at
// full strength from 1, and the swimming keeps growing up to 3. The picture
// (tex0) is colour-corrected as it is read, as color_contrast.fs does it
// (contrast "con" about mid grey, then the lift "lum"), and the ghost mixed
// over the sharp picture here: one opaque pass instead of correcting into a
// buffer, copying it and blending the ghost over that (the same picture but
// for rounding: nothing between is stored at 8 bits).
// Texture coordinates need full precision: some drivers run mediump as
// 16-bit floats, which cannot address single pixels of a wide picture.
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform sampler2D tex0;
uniform float time;
uniform float con;
uniform float lum;
varying vec2 TexCoord0;

// sin(x) within 0.0011: x brought into -pi..pi, the parabola through the
// sine's zeros and peaks, refined once. llvmpipe's own sin and cos cost a
// sixth of this pass; the swim they move is 0.036 of the picture at most, so
// the error shifts a read by under a twentieth of a pixel.
float swimSin(float x)
{
    x -= 6.2831853 * floor(x * 0.15915494 + 0.5);
    float y = 1.2732395 * x - 0.40528473 * x * abs(x);
    return 0.225 * (y * abs(y) - y) + y;
}

vec3 corrected(vec2 at)
{
    return clamp((texture2D(tex0, at).rgb - 0.5) * con + 0.5 + lum, 0.0, 1.0);
}

void main()
{
    float t = clamp(time, 0.0, 1.0);
    float sway = clamp(time, 0.0, 3.0);
    vec2 uv = TexCoord0;
    vec2 swim = vec2(swimSin(uv.y * 9.0 + sway * 7.0), swimSin(uv.x * 7.0 + sway * 5.0 + 1.5707963)) * 0.012 * sway;
    vec2 split = vec2(0.018, 0.006) * t;
    vec3 a = corrected(uv + swim + split);
    vec3 b = corrected(uv + swim - split);
    // The ghost saturates at white before it is mixed, as a blended layer would.
    vec3 ghost = min(mix(a, b, 0.5) * vec3(1.04, 1.0, 0.92), 1.0);
    gl_FragColor = vec4(mix(corrected(uv), ghost, t * 0.85), 1.0);
}
