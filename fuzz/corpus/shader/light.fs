// Plain lit objects: the colour map (tex0) lit through the light sphere (tex1)
// with a soft sheen toward grazing angles. Two-sided: a back face (drawn
// when culling is off) is lit by its reversed normal.
// Eye-space distances reach thousands of units: their squares need full
// precision (some drivers run mediump as 16-bit floats).
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform sampler2D tex0;
uniform sampler2D tex1;
varying vec2 uv;
varying vec3 nrm;
varying vec3 eye;
varying vec3 world;

void main()
{
    vec3 n = normalize(nrm);
    vec3 v = normalize(-eye);
    if (!gl_FrontFacing) n = -n;
    vec4 colour = texture2D(tex0, uv);
    vec3 light = texture2D(tex1, n.xy * 0.48 + 0.5).rgb;
    float sheen = pow(1.0 - max(dot(n, v), 0.0), 3.0) * 0.15;
    gl_FragColor = vec4(colour.rgb * light + light * sheen, 1.0);
}
