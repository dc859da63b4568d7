// Speed lines: two layers of the streak picture (tex0) scrolling at different
// rates for depth, the faster one finer and brighter, darkening toward the
// tube's far ends where it narrows to a point.
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform sampler2D tex0;
varying vec2 uv;
varying vec2 along;
varying vec3 eye;

void main()
{
    vec3 slow = texture2D(tex0, uv).rgb;
    vec3 fast = texture2D(tex0, vec2(uv.x * 1.7 + along.x * 0.3, along.y * 2.0 + 0.37)).rgb;
    vec3 colour = slow * 0.85 + max(fast - vec3(0.25), 0.0) * 0.9;
    // u runs 0..4 along the tube: the middle is around the eye, the ends far away.
    float middle = 1.0 - abs(along.x - 2.0) * 0.5;
    colour *= mix(0.25, 1.1, smoothstep(0.0, 0.6, middle));
    gl_FragColor = vec4(colour, 1.0);
}
