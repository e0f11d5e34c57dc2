var desc='<p><img src=\"http://img01.taobaocdn.com/imgextra/i1/520000100011/T1d1.jpg\" /></p>
<p>红豆宽松牛仔裤 第1款&nbsp;&nbsp;细节图</p>
<p><img src=http://img02.taobaocdn.com/imgextra/i2/520000100011/T1d2.jpg /></p>
<p>更多宝贝请看<a href=\"http://shop.taobaocdn.com/520000100011\">本店</a></p>';
