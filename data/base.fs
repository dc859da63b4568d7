// Speed lines: the streak picture (tex0, streaks along u) wrapped around the
// view axis, u running along the tube (distance per unit of radius, so the
// streaks stretch out of the two vanishing points) and v around it; two layers
// scroll at different rates for depth. Darker toward the vanishing points.
#ifdef GL_ES
#extension GL_OES_standard_derivatives : enable
#endif
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform sampler2D tex0;
varying vec3 ray;
varying vec2 scroll;

void main()
{
    vec3 d = normalize(ray);
    float radius = max(length(d.xy), 0.02);
    float along = d.z / radius;
    // The angle jumps by a whole turn on the -x side of the axis, and the jump
    // would pick the smallest mip level: there (and only there) a second
    // coordinate takes over, equal up to whole turns (the picture repeats),
    // whose own jump lies on the +x side.
    float right = atan(d.y, d.x) / 6.2832;
    float left = atan(-d.y, -d.x) / 6.2832 + 0.5;
    float around = fwidth(right) > 0.25 ? left : right;
    vec3 slow = texture2D(tex0, vec2(along * 0.3 + scroll.x, around)).rgb;
    vec3 fast = texture2D(tex0, vec2(along * 0.5 + scroll.x * 1.7, around * 2.0 + 0.37)).rgb;
    vec3 colour = slow * 0.85 + max(fast - vec3(0.25), 0.0) * 0.9;
    colour *= mix(1.1, 0.45, smoothstep(0.9, 0.999, abs(d.z)));
    gl_FragColor = vec4(colour, 1.0);
}
