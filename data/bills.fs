// Printed bills coming off the press: the front print (tex0) on faces seen
// from the front, the back print (tex1) on faces seen from behind, lit through
// the light sphere (tex2).
// Eye-space distances reach thousands of units: their squares need full
// precision (some drivers run mediump as 16-bit floats).
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform sampler2D tex0;
uniform sampler2D tex1;
uniform sampler2D tex2;
varying vec2 uv;
varying vec3 nrm;
varying vec3 eye;
varying vec3 world;

void main()
{
    vec3 n = normalize(nrm);
    vec3 v = normalize(-eye);
    vec3 colour;
    if (gl_FrontFacing) {
        colour = texture2D(tex0, uv).rgb;
    } else {
        colour = texture2D(tex1, vec2(1.0 - uv.x, uv.y)).rgb;
        n = -n;
    }
    vec3 light = texture2D(tex2, n.xy * 0.48 + 0.5).rgb;
    float sheen = pow(1.0 - abs(dot(n, v)), 3.0) * 0.12;
    gl_FragColor = vec4(colour * light + light * sheen, 1.0);
}
